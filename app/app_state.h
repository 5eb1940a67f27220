// The process-wide state that the tool's parts share: the main window, its
// font and the dots panel, what the lower part of the window shows, whether
// an installation runs, the system's bitness, and the window's sizes with
// the one resize they all use. The widgets and the installation thread
// include this header, not the main window's.
#pragma once

#include <windows.h>

#include <atomic>

// ---- Sizes (pixels) ------------------------------------------------------
enum {
    kWindowWidth = 420,
    kHeightCollapsed = 180,   // nothing below the buttons
    kHeightInstalling = 220,  // the dots panel and the "installing" band
    kHeightResult = 252,      // the install result band
    kHeightSettings = 450,    // the result band and the six setting lists
};
// Buffers in wide characters: a resource string, a formatted message.
enum { kTextChars = 100, kMessageChars = 500 };

// What the lower part of the window shows.
enum PanelStates { kPanelNone = 0, kPanelResult = 1, kPanelSettings = 2 };

// ---- Shared with the installation and timer threads -----------------------
// Flags and counters shared with the installation and timer threads are
// single 32-bit atomics; no ordering between the threads is needed.
extern std::atomic<LONG> PanelState;
extern std::atomic<LONG> InstallBusy;
extern LONG IsWow64;  // written once before the window exists

// ---- Handles that live until the process ends -------------------------------
extern HINSTANCE AppInstance;  // the module the resources are loaded from
extern HWND MainWindow;        // where the flat buttons send their commands
extern HWND DotsPanel;         // what the dots' timer invalidates
extern HFONT UiFont;           // the captions' and the painted texts' font

// Resizes the main window to 420 x `height` at `rect`'s top-left corner.
void ResizeMainWindow(const RECT& rect, int height, BOOL repaint);
