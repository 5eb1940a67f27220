// Test helpers for the spooler under Wine: printers with file ports whose
// jobs can be read back, and a watcher that finds, reads and closes a
// message box shown by the thread under test.
//
// Wine's spooler takes a Unix path as a port name and writes each raw job
// to that file, overwriting the previous one. A Windows spooler has no such
// ports; these helpers are for the Wine bench only.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

// Printers and drivers added for one test, removed again when it ends.
class SpoolerFixture {
  public:
    // Port files go to the Unix directory named by TAVO_SPOOL_DIR when it is
    // set, else to a fresh directory under the Windows temporary directory.
    SpoolerFixture();
    ~SpoolerFixture();
    SpoolerFixture(const SpoolerFixture&) = delete;
    SpoolerFixture& operator=(const SpoolerFixture&) = delete;

    // True when the port directory exists on both sides.
    bool ready() const { return !windowsDir_.empty() && !unixDir_.empty(); }
    const std::wstring& windowsDir() const { return windowsDir_; }

    // A wineps-based driver of this name (adding an existing one is fine).
    bool AddDriver(const std::wstring& driverName);
    // A local printer with its own file port; one of the same name left
    // from an earlier run is replaced. `attributes` may hold
    // PRINTER_ATTRIBUTE_WORK_OFFLINE.
    bool AddFilePortPrinter(const std::wstring& printerName, const std::wstring& driverName,
                            DWORD attributes = 0);
    // Sets or clears PRINTER_ATTRIBUTE_WORK_OFFLINE through SetPrinterW.
    bool SetOffline(const std::wstring& printerName, bool offline);
    bool DeletePrinterNamed(const std::wstring& printerName);

    // The bytes of the last job that reached the printer's port; `exists`
    // tells whether any job wrote the file at all.
    std::string ReadPort(const std::wstring& printerName, bool* exists = nullptr) const;
    // Removes every port file, so the next jobs can be told apart.
    void ClearPorts();

    // The names of all local printers in the order EnumPrintersW gives.
    static std::vector<std::wstring> EnumeratedPrinterNames();
    // The attributes of a printer as the spooler reports them, or ~0u.
    static DWORD PrinterAttributes(const std::wstring& printerName);

  private:
    struct AddedPrinter {
        std::wstring name;
        std::wstring portWindowsPath;
    };
    const AddedPrinter* Find(const std::wstring& printerName) const;

    std::wstring windowsDir_;
    std::string unixDir_;
    bool ownsDir_ = false;
    std::vector<AddedPrinter> printers_;
    std::vector<std::wstring> drivers_;
    unsigned nextPort_ = 0;
};

// Watches the given thread for a message box (dialog class "#32770"),
// records its text (control 0xFFFF), caption and owner, and presses OK.
// Start it before the call that may show the box; Stop() after the call
// returns ends the watch early when no box came.
class MessageBoxWatcher {
  public:
    struct Seen {
        bool shown = false;
        std::wstring text;
        std::wstring caption;
        HWND owner = nullptr;
        bool okPressed = false;
    };

    MessageBoxWatcher(DWORD threadId, DWORD timeoutMs);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Ends the watch (after one last look) and returns what it saw.
    Seen Stop();

  private:
    static DWORD WINAPI Run(LPVOID self);
    void Watch();

    DWORD threadId_;
    DWORD timeoutMs_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    Seen seen_;
};
