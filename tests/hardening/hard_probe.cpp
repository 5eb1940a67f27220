// tavo_hard_probe: drives and measures the running tool from outside its
// process for the hardening runs, and holds files locked for the fault cases.
//
//   tavo_hard_probe.exe objects PID
//       GDI objects, USER objects and private memory of process PID, as one
//       JSON line (see ObjectsOf for how each is counted under Wine).
//   tavo_hard_probe.exe gdiself
//       Checks the GDI count against this process itself: 100 brushes made
//       must show as 100 more objects, and none after they are deleted.
//   tavo_hard_probe.exe leak KIND COUNT [CLASS]
//       KIND repaint: COUNT repaints of the main window (RedrawWindow with
//       RDW_UPDATENOW: a sent WM_PAINT, done when the call returns).
//       KIND panel: COUNT open/close cycles of the settings panel (the
//       Settings command twice, sent).
//       KIND closeup: COUNT close-ups of the first setting list
//       (CB_SHOWDROPDOWN on and off: the list itself notifies CBN_CLOSEUP).
//       Prints the objects after a warm-up of COUNT/10 (at least 5) and then
//       at each tenth of COUNT, one JSON line each ("phase").
//   tavo_hard_probe.exe lock FILE
//       Opens FILE for reading and writing with no sharing, prints "locked"
//       and holds it until standard input ends.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "window_walk.h"

namespace {

const wchar_t kDefaultClass[] = L"TAVO_WIN32";
const int kFirstListId = 1202, kSettingsId = 1003;

// ---- Counting GDI objects of another process --------------------------
//
// GetGuiResources is what Windows offers; Wine 8 has it as a stub that
// returns 0. Wine keeps each process's GDI handle table in the process's
// own memory and points the PEB's GdiSharedHandleTable at it (offset 0x94
// of a 32-bit PEB, 0xF8 of a 64-bit one; for a 32-bit process on 64-bit
// Wine, the 64-bit PEB reached through the TEB's GdiBatchCount). The table
// has 0x10000 entries of 24 bytes; a live entry has a non-zero type byte, a
// free one has type 0.

typedef LONG(WINAPI* NtQueryInformationProcessFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef LONG(WINAPI* NtQueryInformationThreadFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);

struct BasicInfo {  // PROCESS_BASIC_INFORMATION / THREAD_BASIC_INFORMATION heads
    LONG status;
    PVOID base;  // PebBaseAddress / TebBaseAddress
    ULONG_PTR rest[6];
};

enum { kGdiEntries = 0x10000, kGdiEntryBytes = 24, kGdiTypeOffset = 14 };

bool ReadRemote(HANDLE process, ULONG_PTR address, void* out, SIZE_T size) {
    SIZE_T got = 0;
    return address &&
           ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), out, size, &got) &&
           got == size;
}

ULONG_PTR GdiTableAddress(HANDLE process, DWORD pid) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll");
    NtQueryInformationProcessFn queryProcess = reinterpret_cast<NtQueryInformationProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    NtQueryInformationThreadFn queryThread = reinterpret_cast<NtQueryInformationThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationThread")));
    if (!queryProcess || !queryThread) return 0;
    BasicInfo info;
    memset(&info, 0, sizeof info);
#if defined(_WIN64)
    // The probe and the tool come from one build: a 64-bit tool keeps the
    // table's address in its 64-bit PEB.
    ULONG_PTR table64 = 0;
    if (queryProcess(process, 0, &info, sizeof(PVOID) * 6, nullptr) == 0 &&
        ReadRemote(process, reinterpret_cast<ULONG_PTR>(info.base) + 0xF8, &table64, 8))
        return table64;
    (void)pid;
    return 0;
#else
    ULONG table32 = 0;
    if (queryProcess(process, 0, &info, sizeof(PVOID) * 6, nullptr) == 0 &&
        ReadRemote(process, reinterpret_cast<ULONG_PTR>(info.base) + 0x94, &table32, 4) && table32)
        return table32;
    // Through the 64-bit TEB and PEB of a WOW64 process.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    ULONG_PTR result = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more && !result;
         more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        memset(&info, 0, sizeof info);
        ULONG teb64 = 0;
        unsigned long long peb64 = 0, table = 0;
        if (queryThread(thread, 0, &info, sizeof(PVOID) * 7, nullptr) == 0 &&
            ReadRemote(process, reinterpret_cast<ULONG_PTR>(info.base) + 0xF70, &teb64, 4) &&
            ReadRemote(process, teb64 + 0x60, &peb64, 8) && peb64 < 0x100000000ULL &&
            ReadRemote(process, static_cast<ULONG_PTR>(peb64) + 0xF8, &table, 8) &&
            table < 0x100000000ULL)
            result = static_cast<ULONG_PTR>(table);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return result;
#endif
}

long CountGdiTable(HANDLE process, DWORD pid) {
    ULONG_PTR table = GdiTableAddress(process, pid);
    if (!table) return -1;
    std::vector<unsigned char> bytes(static_cast<size_t>(kGdiEntries) * kGdiEntryBytes);
    if (!ReadRemote(process, table, bytes.data(), bytes.size())) return -1;
    long live = 0;
    for (size_t i = 0; i < kGdiEntries; ++i)
        if (bytes[i * kGdiEntryBytes + kGdiTypeOffset] != 0) ++live;
    return live;
}

// ---- USER objects: the windows of the process --------------------------
//
// Wine keeps USER handles in the wineserver and GetGuiResources gives 0;
// the USER objects the tool can leak in these runs are windows (lists,
// message boxes), so those are counted: top-level windows, their children
// and the message-only windows of the process.

struct WindowCount {
    DWORD pid;
    long count;
};

BOOL CALLBACK CountChild(HWND window, LPARAM param) {
    WindowCount* c = reinterpret_cast<WindowCount*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == c->pid) ++c->count;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND window, LPARAM param) {
    WindowCount* c = reinterpret_cast<WindowCount*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == c->pid) {
        ++c->count;
        WalkChildren(window, true, CountChild, param);
    }
    return TRUE;
}

long CountWindows(DWORD pid) {
    WindowCount c = {pid, 0};
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&c));
    WalkSiblings(FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr), false, CountTop,
                 reinterpret_cast<LPARAM>(&c));
    return c.count;
}

// One JSON object: gdi, user (with how they were counted) and private bytes.
void PrintObjects(DWORD pid, const char* phase, long done) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) {
        printf("{\"ok\":false,\"error\":\"cannot open process %lu\"}\n", pid);
        fflush(stdout);
        return;
    }
    long gdi = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS));
    long user = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS));
    const char* gdiHow = "GetGuiResources";
    const char* userHow = "GetGuiResources";
    if (gdi == 0) {
        gdi = CountGdiTable(process, pid);
        gdiHow = "gdi-handle-table";
    }
    if (user == 0) {
        user = CountWindows(pid);
        userHow = "windows";
    }
    // Private bytes: PrivateUsage on Windows; Wine leaves it 0 and gives the
    // process's anonymous resident memory as the page-file usage.
    PROCESS_MEMORY_COUNTERS_EX memory;
    memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    unsigned long long privateBytes =
        memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    CloseHandle(process);
    printf(
        "{\"ok\":true,\"phase\":\"%s\",\"done\":%ld,\"gdi\":%ld,\"gdi_how\":\"%s\",\"user\":%ld,"
        "\"user_how\":\"%s\",\"private\":%llu}\n",
        phase, done, gdi, gdiHow, user, userHow, privateBytes);
    fflush(stdout);
}

// ---- Driving the tool --------------------------------------------------

bool SendWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 30000, &result) != 0;
}

bool OneStep(const char* kind, HWND main) {
    if (strcmp(kind, "repaint") == 0)
        return RedrawWindow(main, nullptr, nullptr,
                            RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN) != 0;
    if (strcmp(kind, "panel") == 0)
        return SendWait(main, WM_COMMAND, MAKEWPARAM(kSettingsId, BN_CLICKED), 0) &&
               SendWait(main, WM_COMMAND, MAKEWPARAM(kSettingsId, BN_CLICKED), 0);
    if (strcmp(kind, "closeup") == 0) {
        HWND list = ChildWithId(main, kFirstListId);
        return list && SendWait(list, CB_SHOWDROPDOWN, TRUE, 0) &&
               SendWait(list, CB_SHOWDROPDOWN, FALSE, 0);
    }
    return false;
}

int Leak(const char* kind, long count, const wchar_t* className) {
    HWND main = FindWindowW(className, nullptr);
    if (!main) {
        printf("{\"ok\":false,\"error\":\"no main window\"}\n");
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    long warmup = count / 10 < 5 ? 5 : count / 10;
    PrintObjects(pid, "start", 0);
    for (long i = 0; i < warmup; ++i)
        if (!OneStep(kind, main)) {
            printf("{\"ok\":false,\"error\":\"step failed in warm-up\"}\n");
            return 1;
        }
    PrintObjects(pid, "before", 0);
    DWORD started = GetTickCount();
    long step = count / 10 ? count / 10 : 1;
    for (long done = 1; done <= count; ++done) {
        if (!OneStep(kind, main)) {
            printf("{\"ok\":false,\"error\":\"step %ld failed\"}\n", done);
            return 1;
        }
        if (done % step == 0 || done == count)
            PrintObjects(pid, done == count ? "after" : "during", done);
    }
    printf("{\"ok\":true,\"phase\":\"time\",\"ms\":%lu}\n", GetTickCount() - started);
    fflush(stdout);
    return 0;
}

int GdiSelf() {
    DWORD pid = GetCurrentProcessId();
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    long before = CountGdiTable(self, pid);
    HBRUSH brushes[100];
    for (int i = 0; i < 100; ++i) brushes[i] = CreateSolidBrush(RGB(i, 1, 2));
    long during = CountGdiTable(self, pid);
    for (int i = 0; i < 100; ++i) DeleteObject(brushes[i]);
    long after = CountGdiTable(self, pid);
    CloseHandle(self);
    bool ok = before >= 0 && during - before == 100 && after == before;
    printf("{\"ok\":%s,\"before\":%ld,\"with_100_brushes\":%ld,\"after\":%ld}\n",
           ok ? "true" : "false", before, during, after);
    return ok ? 0 : 1;
}

int Lock(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        printf("error %lu\n", GetLastError());
        fflush(stdout);
        return 1;
    }
    printf("locked\n");
    fflush(stdout);
    char line[64];
    while (fgets(line, sizeof line, stdin)) {
    }
    CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && lstrcmpW(argv[1], L"objects") == 0) {
        PrintObjects(static_cast<DWORD>(_wtol(argv[2])), "now", 0);
        return 0;
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"gdiself") == 0) return GdiSelf();
    if (argc >= 4 && lstrcmpW(argv[1], L"leak") == 0) {
        char kind[16] = {0};
        WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, kind, sizeof kind - 1, nullptr, nullptr);
        return Leak(kind, _wtol(argv[3]), argc >= 5 ? argv[4] : kDefaultClass);
    }
    if (argc >= 3 && lstrcmpW(argv[1], L"lock") == 0) return Lock(argv[2]);
    fprintf(stderr,
            "usage: tavo_hard_probe objects PID | gdiself | leak KIND COUNT [CLASS] | lock FILE\n");
    return 2;
}
