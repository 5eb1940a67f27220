// Delay-load hooks and the System32-only search (system_libraries.h).
#include "platform/system_libraries.h"

#include <windows.h>
// delayimp.h after windows.h: it uses its types.
#include <delayimp.h>

namespace {

// STATUS_DLL_NOT_FOUND: what Windows ends a program with whose load-time
// import is missing, so a caller sees the same either way.
const UINT kExitDllNotFound = 0xC0000135u;

MissingSystemLibraryHandler MissingHandler = nullptr;
bool SearchFlagsSupported = false;

[[noreturn]] void Missing(const char* library, const char* function) {
    if (MissingHandler) MissingHandler(library, function);
    ExitProcess(kExitDllNotFound);
}

// The library by name from System32 and nowhere else.
HMODULE LoadFromSystem32(const char* name) {
    if (!name || !name[0]) return nullptr;
    for (const char* c = name; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':') return nullptr;  // a name, never a path
    if (SearchFlagsSupported) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the search flags: the full path, and with the altered search
    // order its own dependencies are looked for in System32 first too.
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = lstrlenA(name);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
    path[length] = '\\';
    lstrcpynA(path + length + 1, name, static_cast<int>(MAX_PATH - length - 1));
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    HMODULE module = LoadFromSystem32(info->szDll);
    // Returning null here would let the helper call LoadLibrary itself, with
    // the ordinary search: never.
    if (!module) Missing(info->szDll, nullptr);
    return reinterpret_cast<FARPROC>(module);
}

FARPROC WINAPI DelayLoadFailure(unsigned notification, PDelayLoadInfo info) {
    if (notification == dliFailLoadLib) Missing(info->szDll, nullptr);
    if (notification == dliFailGetProc)
        Missing(info->szDll, info->dlp.fImportByName ? info->dlp.szProcName : "(by ordinal)");
    return nullptr;
}

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

}  // namespace

// The delay-load helper calls these; delayimp.h declares them (const with
// MSVC), which gives these definitions their C linkage.
#if defined(_MSC_VER)
#define TAVO_DELAY_HOOK const PfnDliHook
#else
#define TAVO_DELAY_HOOK PfnDliHook
#endif
extern "C" {
TAVO_DELAY_HOOK __pfnDliNotifyHook2 = DelayLoadNotify;
TAVO_DELAY_HOOK __pfnDliFailureHook2 = DelayLoadFailure;
}

void RestrictDllSearchToSystem32(MissingSystemLibraryHandler handler) {
    MissingHandler = handler;
    // kernel32 is a KnownDLL and already loaded: asking it is safe.
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    // Through void*: a function pointer of another type is what the lookup
    // gives back.
    SetDefaultDllDirectoriesFunction setDefault =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
               : nullptr;
    SearchFlagsSupported = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!SearchFlagsSupported) SetDllDirectoryW(L"");
}
