// A library planted beside the package under a system library's name
// (gdiplus.dll, winmm.dll, winspool.drv). It exports nothing: when it is
// loaded, DllMain appends the path it was loaded from to the file that
// TAVO_PLANTED_LOG names, one UTF-8 line per load, and a program that took
// it for the real library then fails on its first import.
#include <windows.h>

namespace {

void LogLoad(HMODULE self) {
    wchar_t log[MAX_PATH];
    DWORD chars = GetEnvironmentVariableW(L"TAVO_PLANTED_LOG", log, MAX_PATH);
    if (chars == 0 || chars >= MAX_PATH) return;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char line[4 * MAX_PATH + 2];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line,
                                    sizeof line - 2, nullptr, nullptr);
    if (bytes <= 0) return;
    line[bytes++] = '\n';
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(bytes), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LogLoad(instance);
    return TRUE;
}
