// The process-wide state of app_state.h and the resize that the main window
// and the installation thread share.
#include "app/app_state.h"

std::atomic<LONG> PanelState(kPanelNone);
std::atomic<LONG> InstallBusy(0);
LONG IsWow64 = 0;
HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;
HWND DotsPanel = nullptr;
HFONT UiFont = nullptr;

void ResizeMainWindow(const RECT& rect, int height, BOOL repaint) {
    MoveWindow(MainWindow, rect.left, rect.top, kWindowWidth, height, repaint);
}
