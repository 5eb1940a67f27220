// The application shell: the process-wide state of the one main window, its
// ids, colours and sizes, and the entry points of main.cpp, main_window.cpp
// and commands.cpp.
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
enum { kTextChars = 100, kMessageChars = 500 };

// ---- Control and command ids ---------------------------------------------
enum {
    kIdClose = 105,  // sent by other programs only
    kIdExit = 1001,
    kIdInstall = 1002,
    kIdSettings = 1003,
    kIdWebsite = 1004,
    kIdManual = 1005,
    kIdDotsPanel = 1100,
    // The setting lists: printer/settings_panel.h.
};

// ---- Colours (COLORREF 0x00BBGGRR) ---------------------------------------
const COLORREF kColourButtonErase = 0x242424;  // RGB (36, 36, 36)
const COLORREF kColourBackground = 0x0F0F0F;   // RGB (15, 15, 15)

// What the lower part of the window shows.
enum PanelStates { kPanelNone = 0, kPanelResult = 1, kPanelSettings = 2 };

// ---- Process-wide state ----------------------------------------------------
// Flags and counters shared with the installation and timer threads are
// single 32-bit atomics; no ordering between the threads is needed.
extern std::atomic<LONG> PanelState;
extern std::atomic<LONG> InstallBusy;
extern LONG IsWow64;  // written once before the window exists

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HWND DotsPanel;
extern HFONT UiFont;
extern HBRUSH ButtonBrush;      // answer to WM_CTLCOLORBTN
extern HBRUSH BackgroundBrush;  // the class background
extern wchar_t AppTitle[kTextChars];
extern wchar_t ClassName[kTextChars];

// ---- main.cpp --------------------------------------------------------------
void RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);

// ---- main_window.cpp -------------------------------------------------------
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Resizes the main window to 420 x `height` at `rect`'s top-left corner.
void ResizeMainWindow(const RECT& rect, int height, BOOL repaint);

// ---- commands.cpp ----------------------------------------------------------
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
// Only a removal whose record may concern the printer (device_notice.h).
LRESULT OnDeviceChange(HWND window, WPARAM wParam, LPARAM lParam);
// The USB printer interface notifications: registered when the main window
// is created, unregistered when it is destroyed.
void RegisterPrinterNotifications(HWND window);
void UnregisterPrinterNotifications();
void OpenManual();
// Starts the installation thread unless one runs; 1 when it was started.
int StartInstallation();
void ToggleSettingsPanel(HWND window);
