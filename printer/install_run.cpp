// The installation thread: dots animation, the installer of the package for
// the system's bitness, its result, and the search for the printer.
#include <windows.h>
#include <shellapi.h>
#include <mmsystem.h>

#include "app/app_state.h"
#include "app/texts.h"
#include "platform/scoped_win.h"
#include "printer/install_run.h"
#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"
#include "widgets/dots_panel.h"

namespace {

enum { kExitParameterError = -1, kExitCopyError = -2 };
enum { kTimerDelayMs = 50, kTimerResolutionMs = 1 };

void ShowResult(const wchar_t* text, UINT icon) { MessageBoxW(MainWindow, text, L"", icon); }

void WriteStandardOutput(const char* text, DWORD size) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text, size, &written, nullptr);
}

// Starts the installer and waits for it. 1 and its exit code when it ran;
// 0 when no process was started or its exit code could not be read.
int RunAndWait(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
               DWORD* exitCode) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // The tool says itself when the installer does not start; the shell's
    // own box would only repeat it, in English and without an owner.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return 0;
    KernelHandle process(info.hProcess);
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return 0;
    return GetExitCodeProcess(process.get(), exitCode) ? 1 : 0;
}

}  // namespace

void RunInstaller() {
    const PackagePaths& paths = Package.paths;
    // The installer is the package's own, never one found in whatever
    // directory the tool was started from.
    wchar_t installer[kPathChars];
    wchar_t commandLine[kCommandLineChars];
    wchar_t word[5];
    BuildInfSectionWord(word);
    int ready = BuildInstallerPath(paths.directory, IsWow64, installer, kPathChars) &&
                BuildInstallerCommandLine(word, paths.infPath, commandLine, kCommandLineChars);

    DWORD exitCode = 0;
    // It runs in the package directory, as it did when started from there.
    if (!ready || !RunAndWait(installer, commandLine, paths.directory, &exitCode)) {
        // Nothing was installed: say so rather than report "0 printers".
        wchar_t text[kMessageChars];
        wsprintfW(text, kTextNotStartedFormat, ready ? installer : InstallerRelativePath(IsWow64));
        ShowResult(text, MB_ICONWARNING);
        return;
    }

    int result = static_cast<int>(exitCode);
    if (result == kExitParameterError) {
        ShowResult(kTextParameterError, MB_ICONWARNING);
    } else if (result == kExitCopyError) {
        ShowResult(kTextCopyError, MB_ICONWARNING);
    } else if (result < 0) {
        // Any other negative code is no printer count but an abnormal end,
        // such as 0xC0000005 for an installer that crashed.
        wchar_t text[kMessageChars];
        wsprintfW(text, kTextAbnormalEndFormat, exitCode);
        ShowResult(text, MB_ICONWARNING);
    } else {
        wchar_t text[kMessageChars];
        wsprintfW(text, kTextInstalledCountFormat, result);
        ShowResult(text, MB_ICONINFORMATION);
    }
}

DWORD WINAPI InstallThreadProc(LPVOID) {
    // The shell may hand the start of the installer to COM components.
    ComApartment com;
    com.Start();
    RECT rect;
    GetWindowRect(MainWindow, &rect);  // every resize below keeps this position

    FrameCounter = 0;
    InstallBusy = 1;  // already set by the Install command; kept for any other caller
    if (DotsPanel) InvalidateRect(DotsPanel, nullptr, FALSE);
    MMRESULT timer = timeSetEvent(kTimerDelayMs, kTimerResolutionMs, DotsTimerProc, 0,
                                  TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    FrameCounter = 0;

    if (timer == 0) {
        WriteStandardOutput(kTextNoTimerLine, sizeof(kTextNoTimerLine) - 1);
    } else {
        if (PanelState == kPanelNone) {
            ResizeMainWindow(rect, kHeightInstalling, FALSE);
            // A resize without repaint leaves the new strip unpainted: ask for
            // the band that says an installation runs.
            RECT strip = {0, kHeightCollapsed, kWindowWidth, kHeightInstalling};
            InvalidateRect(MainWindow, &strip, TRUE);
        }
        ShowWindow(DotsPanel, SW_SHOW);

        RunInstaller();

        int count = FindOurPrinters(nullptr, 0);
        if (count == 1) {
            if (PanelState == kPanelNone) {
                PanelState = kPanelResult;
                ResizeMainWindow(rect, kHeightResult, TRUE);
                UpdateWindow(MainWindow);
            }
        } else {
            ShowResult(count > 1 ? kTextInstallSeveralPrinters : kTextNoNewPrinter, MB_ICONWARNING);
            ResizeMainWindow(rect, kHeightCollapsed, TRUE);
        }
        timeKillEvent(timer);
    }

    ShowWindow(DotsPanel, SW_HIDE);
    InstallBusy = 0;
    return 0;
}
