/* A stand-in winmm.dll with the two functions the tool takes from winmm, for
   the cases of test_outside.py that need a timer service the bench cannot
   otherwise give. Planted in place of the prefix's own winmm.dll in the
   tool's System32 for one case, and chosen for the tool's process alone
   with WINEDLLOVERRIDES=winmm=n.

   - TAVO_TIMER_GATE unset: timeSetEvent makes no timer (returns 0), as on a
     system whose multimedia timer service refuses every request.
   - TAVO_TIMER_GATE=DIR (a Windows path): timeSetEvent first creates
     DIR\entered, then waits until DIR\open exists (at most 30 s), then makes
     a working periodic timer. The case acts while the caller is held there.
     One timer at a time, as the tool makes. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

typedef void(CALLBACK* TimerCallback)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

enum { kTimerId = 1, kGatePollMs = 50, kGatePolls = 600 };

static volatile LONG ticking;
static HANDLE tickThread;
static UINT tickDelay;
static TimerCallback tickCallback;
static DWORD_PTR tickUser;

static DWORD WINAPI Ticks(LPVOID unused) {
    (void)unused;
    while (ticking) {
        Sleep(tickDelay);
        if (ticking) tickCallback(kTimerId, 0, tickUser, 0, 0);
    }
    return 0;
}

static int GatePath(wchar_t* path, const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(L"TAVO_TIMER_GATE", path, MAX_PATH - 16);
    if (n == 0 || n >= MAX_PATH - 16) return 0;
    lstrcatW(path, name);
    return 1;
}

static void WaitAtGate(void) {
    wchar_t path[MAX_PATH];
    HANDLE entered;
    int i;
    if (!GatePath(path, L"\\entered")) return;
    entered = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (entered != INVALID_HANDLE_VALUE) CloseHandle(entered);
    GatePath(path, L"\\open");
    for (i = 0; i < kGatePolls && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(kGatePollMs);
}

__declspec(dllexport) UINT WINAPI
    timeSetEvent(UINT delay, UINT resolution, TimerCallback callback, DWORD_PTR user, UINT flags) {
    wchar_t gate[MAX_PATH];
    (void)resolution, (void)flags;
    if (!GatePath(gate, L"") || tickThread) return 0;
    WaitAtGate();
    tickDelay = delay;
    tickCallback = callback;
    tickUser = user;
    ticking = 1;
    tickThread = CreateThread(NULL, 0, Ticks, NULL, 0, NULL);
    if (!tickThread) ticking = 0;
    return tickThread ? kTimerId : 0;
}

__declspec(dllexport) UINT WINAPI timeKillEvent(UINT id) {
    if (id != kTimerId || !tickThread) return 97; /* MMSYSERR_INVALPARAM: no such timer */
    ticking = 0;
    WaitForSingleObject(tickThread, INFINITE);
    CloseHandle(tickThread);
    tickThread = NULL;
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reason, (void)reserved;
    return TRUE;
}
