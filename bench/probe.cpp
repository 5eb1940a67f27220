// tavo_bench_probe: measures a GUI program from outside its process, so the
// figures include nothing the measured program would not do by itself.
//
//   startup RUNS EXE CLASS [EXE CLASS...]
//       Starts each program RUNS times, interleaved, one at a time; prints
//       per run "startup <name> <ms> <peak working set bytes>".
//   paints EXE CLASS REPAINTS SECONDS
//       Starts the tool and drives it through its panel states, timing
//       REPAINTS repaints of the main window in each state and of the dots
//       panel during an installation, and its processor use over SECONDS
//       while the installation runs; prints "paint ..." and "cpu ..." lines.
//   floorpaint EXE CLASS REPAINTS
//       The same repaint timing for the floor program's window.
//
// Ready for input: the program's top-level window of the class is visible,
// neither it nor any visible child has anything left to paint, and a
// message sent to it comes back (SendMessageTimeout of WM_NULL). A sent
// message is only served when the window's thread is back in its message
// loop, so at that moment the first paint is done and the next input is
// read at once. WaitForInputIdle is waited for first, so the polling does
// not compete for the processor with a program still starting.
//
// Timing one repaint from outside: RedrawWindow with RDW_UPDATENOW on
// another thread's window sends WM_PAINT to it and waits for the window
// procedure to return (a window of another thread is painted by a sent,
// synchronous WM_PAINT), so the wall time of the call is the paint plus one
// cross-process round trip. The round trip is timed alone as well (a sent
// WM_NULL) and reported beside it. The processor time that the program and
// the wineserver spend over the repaints is the other view (see CpuMeter).
// The output lines are read by bench/report.py; a figure that could not be
// measured is printed as "-", never as 0.
#include <windows.h>
#include <psapi.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const int kIdInstall = 1002, kIdSettings = 1003, kIdDotsPanel = 1100;
const DWORD kStartDeadlineMs = 30000;

// `value` with `decimals` places, or "-" for a figure not measured (NaN).
std::string Figure(double value, int decimals) {
    if (isnan(value)) return "-";
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct Handle {
    HANDLE value = nullptr;
    Handle() = default;
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

struct FindContext {
    const wchar_t* className;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM lParam) {
    FindContext* context = reinterpret_cast<FindContext*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != context->processId) return TRUE;
    wchar_t name[64];
    if (context->className != nullptr) {
        if (!GetClassNameW(window, name, 64) || wcscmp(name, context->className) != 0) return TRUE;
    }
    context->found = window;
    return FALSE;
}

// The top-level window of `className` that process `processId` owns.
HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    FindContext context{className, processId, nullptr};
    EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

BOOL CALLBACK FindUnpaintedChild(HWND child, LPARAM lParam) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<BOOL*>(lParam) = TRUE;
        return FALSE;
    }
    return TRUE;
}

bool FullyPainted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    BOOL unpainted = FALSE;
    EnumChildWindows(window, FindUnpaintedChild, reinterpret_cast<LPARAM>(&unpainted));
    return !unpainted;
}

bool Answers(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

// Waits on a condition with a deadline, checking every millisecond.
template <typename Condition>
bool WaitFor(DWORD deadlineMs, Condition condition) {
    double end = Now() + deadlineMs;
    for (;;) {
        if (condition()) return true;
        if (Now() > end) return false;
        Sleep(1);
    }
}

struct Running {
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
    double startupMs = 0;
    ~Running() {
        if (info.hProcess != nullptr) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(info.hProcess, 2);
                WaitForSingleObject(info.hProcess, 5000);
            }
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
};

// The directory part of `path`, which the program is started in: the tool
// starts its installers relative to the current directory.
void DirectoryOf(const wchar_t* path, wchar_t* out, size_t chars) {
    wcsncpy(out, path, chars - 1);
    out[chars - 1] = L'\0';
    wchar_t* cut = wcsrchr(out, L'\\');
    if (cut != nullptr) *cut = L'\0';
}

// Starts `exe` and waits until its window of `className` is ready for input.
bool StartReady(const wchar_t* exe, const wchar_t* className, Running* run) {
    wchar_t directory[MAX_PATH];
    DirectoryOf(exe, directory, MAX_PATH);
    std::vector<wchar_t> commandLine(wcslen(exe) + 3);
    swprintf(commandLine.data(), commandLine.size(), L"\"%ls\"", exe);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;

    double start = Now();
    if (!CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                        &startup, &run->info)) {
        fprintf(stderr, "probe: cannot start %ls (error %lu)\n", exe, GetLastError());
        return false;
    }
    WaitForInputIdle(run->info.hProcess, kStartDeadlineMs);
    bool ready = WaitFor(kStartDeadlineMs, [&] {
        if (run->window == nullptr)
            run->window = FindProcessWindow(run->info.dwProcessId, className);
        return run->window != nullptr && IsWindowVisible(run->window) &&
               FullyPainted(run->window) && Answers(run->window, 5000);
    });
    run->startupMs = Now() - start;
    if (!ready) fprintf(stderr, "probe: %ls showed no ready window of class %ls\n", exe, className);
    return ready;
}

// Bytes, or NaN when the system would not say. SIZE_T is 64 bits in the
// 64-bit build: printed through double, not unsigned long (32 bits there).
double PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        fprintf(stderr, "probe: no memory counters (error %lu)\n", GetLastError());
        return NAN;
    }
    return double(counters.PeakWorkingSetSize);
}

// Closes the program's window as a user would and waits for the process.
bool CloseAndWait(Running* run) {
    if (run->window != nullptr) PostMessageW(run->window, WM_CLOSE, 0, 0);
    return WaitForSingleObject(run->info.hProcess, 10000) == WAIT_OBJECT_0;
}

const wchar_t* BaseName(const wchar_t* path) {
    const wchar_t* cut = wcsrchr(path, L'\\');
    return cut != nullptr ? cut + 1 : path;
}

int CommandStartup(int argc, wchar_t** argv) {
    if (argc < 5 || (argc - 3) % 2 != 0) return 64;
    int runs = _wtoi(argv[2]);
    for (int i = 0; i < runs; ++i) {
        for (int t = 3; t + 1 < argc; t += 2) {
            Running run;
            if (!StartReady(argv[t], argv[t + 1], &run)) return 1;
            // The peak so far includes the start-up; the idle program does
            // not grow afterwards.
            double peak = PeakWorkingSet(run.info.hProcess);
            if (!CloseAndWait(&run)) {
                fprintf(stderr, "probe: %ls did not end after WM_CLOSE\n", argv[t]);
                return 1;
            }
            printf("startup %ls %.3f %s\n", BaseName(argv[t]), run.startupMs,
                   Figure(peak, 0).c_str());
            fflush(stdout);
        }
    }
    return 0;
}

// ---- Processor time ------------------------------------------------------
// GetProcessTimes of another process is not dependable under Wine (it gave
// nothing for a process whose timer thread was plainly busy), so the
// processor time is read where the system keeps it: /proc of the Wine
// process that runs the program, through Wine's Z: drive. The process is
// found by its command line and its prefix.
// The wineserver of the same prefix does part of every window operation on
// the program's behalf; its time over the same interval is read too.
// Resolution: one clock tick (10 ms), so intervals are long.

bool ReadWholeFile(const wchar_t* path, std::string* text) {
    text->clear();
    Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    if (file.value == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.value, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text->append(buffer, got);
    return true;
}

// Environment entries and arguments in /proc are separated by zero bytes.
bool HasEntry(const std::string& entries, const std::string& wanted) {
    size_t at = 0;
    while (at < entries.size()) {
        size_t end = entries.find('\0', at);
        if (end == std::string::npos) end = entries.size();
        std::string entry = entries.substr(at, end - at);
        if (entry == wanted) return true;
        at = end + 1;
    }
    return false;
}

// The Unix process whose program (first argument) contains `command` and whose
// environment holds the entry `environmentEntry`; 0 when there is none.
int FindUnixProcess(const std::string& command, const std::string& environmentEntry) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int pid = 0;
    do {
        int candidate = _wtoi(found.cFileName);
        if (candidate <= 0) continue;
        wchar_t path[64];
        std::string text;
        swprintf(path, 64, L"Z:\\proc\\%d\\cmdline", candidate);
        // The program itself, not a process that names it among its
        // arguments (such as this probe).
        if (!ReadWholeFile(path, &text) ||
            text.substr(0, text.find('\0')).find(command) == std::string::npos)
            continue;
        swprintf(path, 64, L"Z:\\proc\\%d\\environ", candidate);
        if (!ReadWholeFile(path, &text) || !HasEntry(text, environmentEntry)) continue;
        pid = candidate;
        break;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return pid;
}

// User plus system time of Unix process `pid`, in milliseconds; NaN when
// it cannot be read (a 0 would pass for an idle program).
double UnixCpuMs(int pid) {
    if (pid <= 0) return NAN;
    wchar_t path[64];
    swprintf(path, 64, L"Z:\\proc\\%d\\stat", pid);
    std::string text;
    if (!ReadWholeFile(path, &text)) return NAN;
    // Fields after the command name in parentheses: state is field 3, utime
    // and stime are fields 14 and 15.
    size_t close = text.rfind(')');
    if (close == std::string::npos) return NAN;
    unsigned long long utime = 0, stime = 0;
    if (sscanf(text.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
               &utime, &stime) != 2)
        return NAN;
    return double(utime + stime) * 10.0;  // USER_HZ is 100 on Linux
}

struct CpuMeter {
    int toolPid = 0, serverPid = 0;
    double tool = 0, server = 0;
    void Start() {
        tool = UnixCpuMs(toolPid);
        server = UnixCpuMs(serverPid);
    }
    // Milliseconds since Start: of the program, of the wineserver.
    void Stop(double* toolMs, double* serverMs) const {
        *toolMs = UnixCpuMs(toolPid) - tool;
        *serverMs = UnixCpuMs(serverPid) - server;
    }
};

std::string Narrow(const wchar_t* text) {
    char buffer[1024];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

std::string PrefixEntry() {
    char prefix[1024];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix) return std::string();
    return std::string("WINEPREFIX=") + prefix;
}

// Finds the Unix processes of program `exe` (its full path: the program's
// command line starts with it) and of the wineserver, both of this probe's
// prefix.
CpuMeter MakeCpuMeter(const wchar_t* exe) {
    CpuMeter meter;
    std::string prefix = PrefixEntry();
    meter.toolPid = FindUnixProcess(Narrow(exe), prefix);
    meter.serverPid = FindUnixProcess("wineserver", prefix);
    if (meter.toolPid == 0) fprintf(stderr, "probe: no Unix process found for %ls\n", exe);
    if (meter.serverPid == 0) fprintf(stderr, "probe: the wineserver was not found\n");
    return meter;
}

// Times `repaints` synchronous repaints of `window` and prints one line:
// paint LABEL WALL ROUNDTRIP TOOLCPU SERVERCPU (each in ms per repaint) REPAINTS.
void TimeRepaints(const char* label, HWND window, const CpuMeter& meter, int repaints, UINT flags) {
    // Warm up: the first paints fill caches that later ones reuse.
    for (int i = 0; i < 10; ++i) RedrawWindow(window, nullptr, nullptr, flags);

    double start = Now();
    for (int i = 0; i < repaints; ++i) Answers(window, 5000);
    double roundTrip = (Now() - start) / repaints;

    CpuMeter cpu = meter;
    cpu.Start();
    start = Now();
    for (int i = 0; i < repaints; ++i) RedrawWindow(window, nullptr, nullptr, flags);
    double wall = (Now() - start) / repaints;
    double toolMs, serverMs;
    cpu.Stop(&toolMs, &serverMs);
    printf("paint %s %.4f %.4f %s %s %d\n", label, wall, roundTrip,
           Figure(toolMs / repaints, 4).c_str(), Figure(serverMs / repaints, 4).c_str(), repaints);
    fflush(stdout);
}

const UINT kMainRepaint = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE;
// The dots panel's timer invalidates without erasing; a frame is timed the
// same way.
const UINT kDotsRepaint = RDW_INVALIDATE | RDW_UPDATENOW;

int WindowHeight(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return -1;
    return rect.bottom - rect.top;
}

// The message box the tool shows, owned by its main window.
HWND FindMessageBox(DWORD processId, HWND owner) {
    HWND box = nullptr;
    for (;;) {
        box = FindWindowExW(nullptr, box, L"#32770", nullptr);
        if (box == nullptr) return nullptr;
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        if (pid == processId && GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box))
            return box;
    }
}

void ClickCommand(HWND window, int id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

// Answers the message box the tool shows next (OK), printing its text.
bool DismissMessageBox(const Running& run, DWORD deadlineMs) {
    HWND box = nullptr;
    if (!WaitFor(deadlineMs, [&] {
            return (box = FindMessageBox(run.info.dwProcessId, run.window)) != nullptr;
        }))
        return false;
    wchar_t text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    char utf8[1024];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    printf("message %s\n", utf8);
    fflush(stdout);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return WaitFor(5000, [&] { return !IsWindow(box); });
}

int CommandPaints(int argc, wchar_t** argv) {
    if (argc != 6) return 64;
    const wchar_t* exe = argv[2];
    const wchar_t* className = argv[3];
    int repaints = _wtoi(argv[4]);
    double seconds = _wtof(argv[5]);
    if (repaints < 1 || seconds <= 0) return 64;

    Running run;
    if (!StartReady(exe, className, &run)) return 1;
    HANDLE process = run.info.hProcess;
    CpuMeter meter = MakeCpuMeter(exe);
    TimeRepaints("state0", run.window, meter, repaints, kMainRepaint);

    // An installation: the dots panel shows while the installer runs.
    ClickCommand(run.window, kIdInstall);
    HWND panel = GetDlgItem(run.window, kIdDotsPanel);
    if (!WaitFor(10000, [&] { return panel != nullptr && IsWindowVisible(panel); })) {
        fprintf(stderr, "probe: the dots panel did not show after Install\n");
        return 1;
    }
    // Processor use of the whole tool while the animation runs alone.
    CpuMeter cpu = meter;
    cpu.Start();
    double start = Now();
    Sleep(DWORD(seconds * 1000));
    double wall = Now() - start;
    double cpuMs, serverMs;
    cpu.Stop(&cpuMs, &serverMs);
    bool stillRunning =
        IsWindowVisible(panel) && FindMessageBox(run.info.dwProcessId, run.window) == nullptr;
    printf("cpu animation %.3f %s %s %d\n", wall, Figure(cpuMs, 3).c_str(),
           Figure(serverMs, 3).c_str(), stillRunning ? 1 : 0);
    fflush(stdout);
    if (IsWindowVisible(panel)) TimeRepaints("dots", panel, meter, repaints, kDotsRepaint);
    if (IsWindowVisible(panel))
        TimeRepaints("state0-installing", run.window, meter, repaints, kMainRepaint);

    // The installer's result, then the printer search: one printer gives
    // the result band (PanelState 1, 252 pixels high).
    if (!DismissMessageBox(run, 600000)) {
        fprintf(stderr, "probe: no message box after the installation\n");
        return 1;
    }
    if (!WaitFor(20000,
                 [&] { return WindowHeight(run.window) == 252 && !IsWindowVisible(panel); })) {
        fprintf(stderr, "probe: no result band (height %d)\n", WindowHeight(run.window));
        return 1;
    }
    TimeRepaints("state1", run.window, meter, repaints, kMainRepaint);

    ClickCommand(run.window, kIdSettings);
    if (!WaitFor(10000, [&] { return WindowHeight(run.window) == 450; })) {
        fprintf(stderr, "probe: the settings panel did not open (height %d)\n",
                WindowHeight(run.window));
        return 1;
    }
    TimeRepaints("state2", run.window, meter, repaints, kMainRepaint);

    printf("peak tool-after-states %s\n", Figure(PeakWorkingSet(process), 0).c_str());
    if (!CloseAndWait(&run)) {
        fprintf(stderr, "probe: the tool did not end after WM_CLOSE\n");
        return 1;
    }
    return 0;
}

int CommandFloorPaint(int argc, wchar_t** argv) {
    if (argc != 5 || _wtoi(argv[4]) < 1) return 64;
    Running run;
    if (!StartReady(argv[2], argv[3], &run)) return 1;
    TimeRepaints("floor", run.window, MakeCpuMeter(argv[2]), _wtoi(argv[4]), kMainRepaint);
    return CloseAndWait(&run) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int result = 64;
    if (argc >= 2) {
        if (wcscmp(argv[1], L"startup") == 0)
            result = CommandStartup(argc, argv);
        else if (wcscmp(argv[1], L"paints") == 0)
            result = CommandPaints(argc, argv);
        else if (wcscmp(argv[1], L"floorpaint") == 0)
            result = CommandFloorPaint(argc, argv);
    }
    if (result == 64) fprintf(stderr, "usage: see the top of bench/probe.cpp\n");
    return result;
}
