// The application shell: the main window's ids and colours, the state only
// it uses, and the entry points of main.cpp, main_window.cpp and
// commands.cpp. The state it shares with the widgets and the installation
// thread is in app_state.h.
#pragma once

#include <windows.h>

#include "app/app_state.h"

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

// ---- State of the main window alone ------------------------------------
extern HBRUSH ButtonBrush;      // answer to WM_CTLCOLORBTN
extern HBRUSH BackgroundBrush;  // the class background
extern wchar_t AppTitle[kTextChars];
extern wchar_t ClassName[kTextChars];

// ---- main.cpp --------------------------------------------------------------
void RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);

// ---- main_window.cpp -------------------------------------------------------
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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
