/* A winmm.dll whose timeSetEvent makes no timer (returns 0), as on a system
   whose multimedia timer service refuses every request. Only the acceptance
   case "no timer" loads it: planted in place of the prefix's own winmm.dll
   in the tool's System32 for that case, and chosen for the tool's process
   alone with WINEDLLOVERRIDES=winmm=n. It exports the two functions the tool
   takes from winmm (Parts 2.3, 3.2). */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

typedef void(CALLBACK* TimerCallback)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

__declspec(dllexport) UINT WINAPI timeSetEvent(UINT delay, UINT resolution, TimerCallback callback,
                                               DWORD_PTR user, UINT flags) {
    (void)delay, (void)resolution, (void)callback, (void)user, (void)flags;
    return 0;
}

__declspec(dllexport) UINT WINAPI timeKillEvent(UINT id) {
    (void)id;
    return 97; /* MMSYSERR_INVALPARAM: there is no timer to kill */
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reason, (void)reserved;
    return TRUE;
}
