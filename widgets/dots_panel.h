// The dots progress panel: five dots sweeping along the top of a hidden
// "static" control while an installation runs, advanced by a 50 ms
// multimedia timer.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <stdint.h>

// The animation frame; the timer thread increments it, the installation
// thread resets it, painting reads it once. Only its low six bits matter,
// so it wraps freely.
extern std::atomic<uint32_t> FrameCounter;

// The standard "static" procedure, kept when the panel is subclassed.
extern WNDPROC PanelPrevProc;

LRESULT CALLBACK DotsPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The multimedia timer's callback: runs on the timer's own thread. None of
// its arguments is read.
void CALLBACK DotsTimerProc(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                            DWORD_PTR reserved2);
