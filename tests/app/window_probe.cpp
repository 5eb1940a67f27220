// window_probe: looks at the running tool from inside Wine for the smoke
// test. Every wait is on a condition with a deadline; the result goes to
// standard output as UTF-8 "key=value" lines.
//
//   window_probe window TIMEOUT_MS [HEIGHT]  the main window (visible, and
//                                            HEIGHT tall when given), and
//                                            whether its process is 32-bit
//                                            under WOW64
//   window_probe box TIMEOUT_MS              a message box of the tool: its
//                                            text, caption and owner; then OK
//   window_probe command ID...               posts WM_COMMAND ID(s) to the window
//   window_probe dropped ID TIMEOUT_MS       waits until list ID has dropped down
//   window_probe devicechange [RECORD]       sends WM_DEVICECHANGE 0x8004;
//                                            RECORD usbprint or usbdevice:
//                                            lParam points at a device-
//                                            interface record of that class,
//                                            otherwise it is null
//   window_probe end-installers DIR          ends install32/64.exe started
//                                            from DIR, by process id
//   window_probe printer-delete NAME         removes a printer and its driver
#include <windows.h>
#include <tlhelp32.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "device_record.h"
#include "window_walk.h"

namespace {

const wchar_t kClassName[] = L"TAVO_WIN32";
const wchar_t kToolImage[] = L"TavoSetup.exe";

void PrintUtf8(const char* key, const wchar_t* text) {
    char buffer[2048];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    if (n <= 0) buffer[0] = 0;
    printf("%s=%s\n", key, buffer);
}

// The image path of the process that owns `window`, or empty.
void ImageOfWindow(HWND window, wchar_t* path, DWORD chars) {
    path[0] = 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return;
    if (!QueryFullProcessImageNameW(process, 0, path, &chars)) path[0] = 0;
    CloseHandle(process);
}

// "1" when the window's process is a 32-bit one on 64-bit Windows, "0" when
// it is not, "?" when that cannot be asked.
const char* Wow64Text(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return "?";
    BOOL wow64 = FALSE;
    BOOL asked = IsWow64Process(process, &wow64);
    CloseHandle(process);
    return !asked ? "?" : wow64 ? "1" : "0";
}

bool EndsWithNoCase(const wchar_t* text, const wchar_t* tail) {
    size_t a = wcslen(text), b = wcslen(tail);
    return a >= b && _wcsicmp(text + a - b, tail) == 0;
}

bool Expired(DWORD start, DWORD timeout) { return GetTickCount() - start >= timeout; }

int Window(DWORD timeout, int height) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(kClassName, nullptr);
        RECT rect = {};
        if (window && GetWindowRect(window, &rect) && IsWindowVisible(window) &&
            (height < 0 || rect.bottom - rect.top == height)) {
            RECT client = {};
            GetClientRect(window, &client);
            wchar_t className[64];
            GetClassNameW(window, className, 64);
            PrintUtf8("class", className);
            printf("x=%ld\ny=%ld\nw=%ld\nh=%ld\nclient_w=%ld\nclient_h=%ld\n", rect.left, rect.top,
                   rect.right - rect.left, rect.bottom - rect.top, client.right, client.bottom);
            printf("style=0x%08lX\nexstyle=0x%08lX\n",
                   static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                   static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)));
            printf("dots_visible=%d\n", IsWindowVisible(ChildWithId(window, 1100)) ? 1 : 0);
            printf("wow64=%s\n", Wow64Text(window));
            return 0;
        }
        if (Expired(start, timeout)) {
            printf("timeout: window %s, height %ld\n", window ? "found" : "missing",
                   window ? rect.bottom - rect.top : 0L);
            return 2;
        }
        Sleep(50);
    }
}

struct BoxSearch {
    HWND box;
};

BOOL CALLBACK FindToolBox(HWND window, LPARAM context) {
    wchar_t className[16];
    if (!IsWindowVisible(window) || !GetClassNameW(window, className, 16) ||
        wcscmp(className, L"#32770") != 0)
        return TRUE;
    wchar_t image[MAX_PATH];
    ImageOfWindow(window, image, MAX_PATH);
    if (!EndsWithNoCase(image, kToolImage)) return TRUE;
    reinterpret_cast<BoxSearch*>(context)->box = window;
    return FALSE;
}

int Box(DWORD timeout) {
    DWORD start = GetTickCount();
    BoxSearch search = {nullptr};
    while (EnumWindows(FindToolBox, reinterpret_cast<LPARAM>(&search)), !search.box) {
        if (Expired(start, timeout)) {
            printf("timeout: no message box\n");
            return 2;
        }
        Sleep(50);
    }
    wchar_t text[1024] = L"", caption[256] = L"";
    HWND textControl = ChildWithId(search.box, 0xFFFF);
    if (textControl) SendMessageW(textControl, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    GetWindowTextW(search.box, caption, 256);
    PrintUtf8("text", text);
    PrintUtf8("caption", caption);
    HWND owner = GetWindow(search.box, GW_OWNER);
    HWND main = FindWindowW(kClassName, nullptr);
    printf("owner=%s\n", !owner ? "none" : owner == main ? "main" : "other");
    PostMessageW(search.box, WM_COMMAND, IDOK, 0);
    // Done when the box is gone.
    while (IsWindow(search.box)) {
        if (Expired(start, timeout + 5000)) {
            printf("timeout: the box stays\n");
            return 2;
        }
        Sleep(50);
    }
    return 0;
}

HWND MainWindowOrFail() {
    HWND window = FindWindowW(kClassName, nullptr);
    if (!window) printf("no main window\n");
    return window;
}

int EndInstallers(const wchar_t* directory) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    int ended = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"install32.exe") != 0 &&
            _wcsicmp(entry.szExeFile, L"install64.exe") != 0)
            continue;
        HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                        entry.th32ProcessID);
        if (!process) continue;
        wchar_t image[MAX_PATH];
        DWORD chars = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, image, &chars) &&
            _wcsnicmp(image, directory, wcslen(directory)) == 0) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 10000);
            ++ended;
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    printf("ended=%d\n", ended);
    return 0;
}

int PrinterDelete(wchar_t* name) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    DWORD needed = 0;
    wchar_t driver[256] = L"";
    if (OpenPrinterW(name, &printer, &defaults)) {
        GetPrinterW(printer, 2, nullptr, 0, &needed);
        BYTE* info = static_cast<BYTE*>(malloc(needed ? needed : 1));
        if (info && GetPrinterW(printer, 2, info, needed, &needed))
            lstrcpynW(driver, reinterpret_cast<PRINTER_INFO_2W*>(info)->pDriverName, 256);
        free(info);
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    if (driver[0]) DeletePrinterDriverW(nullptr, nullptr, driver);
    PrintUtf8("deleted", name);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && wcscmp(argv[1], L"window") == 0)
        return Window(wcstoul(argv[2], nullptr, 10), argc >= 4 ? _wtoi(argv[3]) : -1);
    if (argc >= 3 && wcscmp(argv[1], L"box") == 0) return Box(wcstoul(argv[2], nullptr, 10));
    if (argc >= 3 && wcscmp(argv[1], L"command") == 0) {
        // Several ids are posted back to back, before the tool handles any.
        HWND window = MainWindowOrFail();
        if (!window) return 1;
        for (int i = 2; i < argc; ++i)
            if (!PostMessageW(window, WM_COMMAND, _wtoi(argv[i]), 0)) return 1;
        return 0;
    }
    if (argc >= 4 && wcscmp(argv[1], L"dropped") == 0) {
        HWND window = MainWindowOrFail();
        if (!window) return 1;
        HWND list = ChildWithId(window, _wtoi(argv[2]));
        DWORD start = GetTickCount(), timeout = wcstoul(argv[3], nullptr, 10);
        while (!SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)) {
            if (Expired(start, timeout)) {
                printf("timeout: not dropped\n");
                return 2;
            }
            Sleep(50);
        }
        return 0;
    }
    if (argc >= 2 && wcscmp(argv[1], L"devicechange") == 0) {
        // Device messages can be sent but not posted. The tool may answer
        // only after the box it shows is closed: the send gives up waiting
        // (the message is still handled).
        HWND window = MainWindowOrFail();
        if (!window) return 1;
        std::string kind;
        for (const wchar_t* c = argc >= 3 ? argv[2] : L""; *c; ++c) kind += static_cast<char>(*c);
        std::vector<unsigned char> record = DeviceInterfaceRecord(kind);
        LPARAM lParam = record.empty() ? 0 : reinterpret_cast<LPARAM>(&record[0]);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_DEVICECHANGE, 0x8004, lParam, SMTO_NORMAL, 1000, &result);
        return 0;
    }
    if (argc >= 3 && wcscmp(argv[1], L"end-installers") == 0) return EndInstallers(argv[2]);
    if (argc >= 3 && wcscmp(argv[1], L"printer-delete") == 0) return PrinterDelete(argv[2]);
    fprintf(stderr,
            "usage: window_probe window|box|command|devicechange|end-installers|"
            "printer-delete ...\n");
    return 64;
}
