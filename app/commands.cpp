// The main window's commands and device notifications.
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include "app/main_window.h"
#include "app/texts.h"
#include "build_config.h"
#include "platform/scoped_win.h"
#include "printer/device_notice.h"
#include "printer/install_run.h"
#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_panel.h"

namespace {

const wchar_t kWebsite[] = TAVO_WEBSITE_TEXT;
// ShellExecuteW's result when no program is associated with the file.
const INT_PTR kShellNoAssociation = SE_ERR_NOASSOC;  // 31
enum { kInstallStackBytes = 1024 };

// The shell may hand its work to COM components. COM is started on the first
// use rather than at start-up, which it would only slow down; the
// user-interface thread keeps it to the end.
ComApartment UserInterfaceCom;

INT_PTR ShellOpen(const wchar_t* target) {
    UserInterfaceCom.Start();
    return reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"Open", target, nullptr, nullptr, SW_SHOWNORMAL));
}

void OpenWebsite(HWND window) {
    if (ShellOpen(kWebsite) == kShellNoAssociation)
        MessageBoxW(window, kTextNoBrowser, L"", MB_ICONERROR);
}

}  // namespace

void OpenManual() {
    const wchar_t* manual = Package.paths.manualPath;
    if (ShellOpen(manual) == kShellNoAssociation) {
        wchar_t text[kMessageChars];
        wsprintfW(text, kTextNoManualAppFormat, manual);
        MessageBoxW(MainWindow, text, L"", MB_ICONERROR);
    }
}

int StartInstallation() {
    // The flag is set here, before the thread exists: a second Install in
    // the moment before the thread runs must find the tool busy.
    if (InstallBusy.exchange(1) != 0) return 0;
    // The handle is closed on the way out: the thread runs on, nobody waits
    // for it.
    KernelHandle thread(
        CreateThread(nullptr, kInstallStackBytes, InstallThreadProc, nullptr, 0, nullptr));
    if (!thread.valid()) {
        InstallBusy = 0;
        return 0;
    }
    return 1;
}

void ToggleSettingsPanel(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    if (PanelState >= kPanelSettings) {
        PanelState = kPanelNone;
        ResizeMainWindow(rect, kHeightCollapsed, TRUE);
        return;
    }
    int count = FindOurPrinters(nullptr, 0);
    if (count == 1) {
        PanelState = kPanelSettings;
        ResizeMainWindow(rect, kHeightSettings, TRUE);
    } else {
        PanelState = kPanelNone;
        MessageBoxW(window, count > 1 ? kTextSettingsSeveralPrinters : kTextSettingsNoPrinter,
                    nullptr, MB_OK);
    }
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    switch (id) {
        case kIdClose:
            DestroyWindow(window);
            return 0;
        case kIdExit:
            if (code != BN_CLICKED) return 0;
            if (InstallBusy) MessageBoxW(window, kTextExitWhileBusy, nullptr, MB_OK);
            DestroyWindow(window);
            return 0;
        case kIdInstall:
            if (InstallBusy) {
                MessageBoxW(window, kTextBusy, nullptr, MB_OK);
            } else if (code == BN_CLICKED) {
                StartInstallation();
            }
            return 0;
        case kIdSettings:
            if (InstallBusy) {
                MessageBoxW(window, kTextBusy, nullptr, MB_OK);
            } else if (code == BN_CLICKED) {
                ToggleSettingsPanel(window);
            }
            return 0;
        case kIdWebsite:
            if (code == BN_CLICKED) OpenWebsite(window);
            return 0;
        case kIdManual:
            if (code == BN_CLICKED) OpenManual();
            return 0;
        default:
            if (id >= kIdSettingListBase && id <= kIdLastSettingList) {
                OnSettingListCommand(window, id, code);
                return 0;
            }
            return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

namespace {

// The one registration for USB printer interface notifications, for the
// main window's lifetime. Without it Windows broadcasts removals only of
// volumes and ports, and the printer's removal would never arrive.
class PrinterNotification {
  public:
    PrinterNotification() = default;
    ~PrinterNotification() { Reset(); }
    PrinterNotification(const PrinterNotification&) = delete;
    PrinterNotification& operator=(const PrinterNotification&) = delete;
    void Register(HWND window) {
        Reset();
        DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        memcpy(&filter.dbcc_classguid, kUsbPrintInterfaceClass, sizeof filter.dbcc_classguid);
        handle_ = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    void Reset() {
        if (handle_) UnregisterDeviceNotification(handle_);
        handle_ = nullptr;
    }

  private:
    HDEVNOTIFY handle_ = nullptr;
};

PrinterNotification UsbPrinterNotification;

}  // namespace

void RegisterPrinterNotifications(HWND window) { UsbPrinterNotification.Register(window); }

void UnregisterPrinterNotifications() { UsbPrinterNotification.Reset(); }

LRESULT OnDeviceChange(HWND window, WPARAM wParam, LPARAM lParam) {
    if (wParam != DBT_DEVICEREMOVECOMPLETE) return 0;
    if (!RemovalConcernsPrinter(reinterpret_cast<const void*>(lParam))) return 0;
    if (FindOurPrinters(nullptr, 0) == 1 || PanelState == kPanelNone) return 0;
    PanelState = kPanelNone;
    MessageBoxW(window, kTextDeviceRemoved, L"", MB_ICONWARNING);
    RECT rect;
    GetWindowRect(window, &rect);
    ResizeMainWindow(rect, kHeightCollapsed, TRUE);
    return 0;
}
