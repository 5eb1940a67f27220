// Spooler and message box helpers for the Wine bench.
#include "spooler_fixture.h"

#include <winspool.h>

#include <stdlib.h>

#include "window_walk.h"

namespace {

// Wine's own path conversions, looked up at run time so the helpers link
// against any Windows import library.
typedef char*(CDECL* UnixNameFn)(LPCWSTR);
typedef WCHAR*(CDECL* DosNameFn)(LPCSTR);

void* WineExport(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}

std::string UnixPathOf(const std::wstring& windowsPath) {
    UnixNameFn toUnix = reinterpret_cast<UnixNameFn>(WineExport("wine_get_unix_file_name"));
    if (toUnix == nullptr) return std::string();
    char* unix = toUnix(windowsPath.c_str());
    if (unix == nullptr) return std::string();
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::wstring WindowsPathOf(const std::string& unixPath) {
    DosNameFn toDos = reinterpret_cast<DosNameFn>(WineExport("wine_get_dos_file_name"));
    if (toDos == nullptr) return std::wstring();
    WCHAR* dos = toDos(unixPath.c_str());
    if (dos == nullptr) return std::wstring();
    std::wstring result(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], chars);
    return wide;
}

// A printer opened with full access, closed on every path.
class AdminPrinter {
  public:
    explicit AdminPrinter(const std::wstring& name) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &handle_, &defaults)) {
            handle_ = nullptr;
        }
    }
    ~AdminPrinter() {
        if (handle_ != nullptr) ClosePrinter(handle_);
    }
    AdminPrinter(const AdminPrinter&) = delete;
    AdminPrinter& operator=(const AdminPrinter&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

// The printer's level 2 record in `storage`, or null.
PRINTER_INFO_2W* QueryPrinter(HANDLE printer, std::vector<BYTE>* storage) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed == 0) return nullptr;
    storage->assign(needed, 0);
    if (!GetPrinterW(printer, 2, storage->data(), needed, &needed)) return nullptr;
    return reinterpret_cast<PRINTER_INFO_2W*>(storage->data());
}

}  // namespace

SpoolerFixture::SpoolerFixture() {
    char fromEnvironment[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TAVO_SPOOL_DIR", fromEnvironment, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        unixDir_ = fromEnvironment;
        windowsDir_ = WindowsPathOf(unixDir_);
        if (!windowsDir_.empty() && CreateDirectoryW(windowsDir_.c_str(), nullptr)) ownsDir_ = true;
    } else {
        wchar_t temp[MAX_PATH];
        DWORD tempLength = GetTempPathW(MAX_PATH, temp);
        if (tempLength == 0 || tempLength >= MAX_PATH) return;
        wchar_t name[MAX_PATH];
        wsprintfW(name, L"%stavo-spool-%lu-%lu", temp, GetCurrentProcessId(), GetTickCount());
        if (!CreateDirectoryW(name, nullptr)) return;
        ownsDir_ = true;
        windowsDir_ = name;
        unixDir_ = UnixPathOf(windowsDir_);
    }
    if (GetFileAttributesW(windowsDir_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        windowsDir_.clear();
        unixDir_.clear();
    }
}

SpoolerFixture::~SpoolerFixture() {
    for (const AddedPrinter& printer : printers_) DeletePrinterNamed(printer.name);
    for (const std::wstring& driver : drivers_) {
        DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(driver.c_str()));
    }
    ClearPorts();
    if (ownsDir_) RemoveDirectoryW(windowsDir_.c_str());
}

bool SpoolerFixture::AddDriver(const std::wstring& driverName) {
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(driverName.c_str());
    wchar_t driverPath[] = L"wineps.drv";
    wchar_t dataFile[] = L"generic.ppd";
    wchar_t configFile[] = L"wineps.drv";
    driver.pDriverPath = driverPath;
    driver.pDataFile = dataFile;
    driver.pConfigFile = configFile;
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) return false;
    for (const std::wstring& known : drivers_) {
        if (known == driverName) return true;
    }
    drivers_.push_back(driverName);
    return true;
}

bool SpoolerFixture::AddFilePortPrinter(const std::wstring& printerName,
                                        const std::wstring& driverName, DWORD attributes) {
    if (!ready()) return false;
    DeletePrinterNamed(printerName);  // left behind by a run that crashed

    wchar_t portFile[32];
    wsprintfW(portFile, L"port%u", ++nextPort_);
    std::wstring portUnix = Widen(unixDir_) + L"/" + portFile;
    std::wstring portWindows = windowsDir_ + L"\\" + portFile;
    DeleteFileW(portWindows.c_str());

    PRINTER_INFO_2W info = {};
    wchar_t processor[] = L"WinPrint";
    wchar_t dataType[] = L"RAW";
    info.pPrinterName = const_cast<wchar_t*>(printerName.c_str());
    info.pPortName = &portUnix[0];
    info.pDriverName = const_cast<wchar_t*>(driverName.c_str());
    info.pPrintProcessor = processor;
    info.pDatatype = dataType;
    info.Attributes = attributes;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (printer == nullptr) return false;
    ClosePrinter(printer);
    printers_.push_back({printerName, portWindows});
    return true;
}

bool SpoolerFixture::SetOffline(const std::wstring& printerName, bool offline) {
    AdminPrinter printer(printerName);
    if (printer.get() == nullptr) return false;
    std::vector<BYTE> storage;
    PRINTER_INFO_2W* info = QueryPrinter(printer.get(), &storage);
    if (info == nullptr) return false;
    if (offline) {
        info->Attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
    } else {
        info->Attributes &= ~DWORD(PRINTER_ATTRIBUTE_WORK_OFFLINE);
    }
    return SetPrinterW(printer.get(), 2, storage.data(), 0) != FALSE;
}

bool SpoolerFixture::DeletePrinterNamed(const std::wstring& printerName) {
    AdminPrinter printer(printerName);
    return printer.get() != nullptr && DeletePrinter(printer.get()) != FALSE;
}

const SpoolerFixture::AddedPrinter* SpoolerFixture::Find(const std::wstring& printerName) const {
    for (const AddedPrinter& printer : printers_) {
        if (printer.name == printerName) return &printer;
    }
    return nullptr;
}

std::string SpoolerFixture::ReadPort(const std::wstring& printerName, bool* exists) const {
    if (exists != nullptr) *exists = false;
    const AddedPrinter* printer = Find(printerName);
    if (printer == nullptr) return std::string();
    HANDLE file = CreateFileW(printer->portWindowsPath.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    if (exists != nullptr) *exists = true;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void SpoolerFixture::ClearPorts() {
    for (const AddedPrinter& printer : printers_) DeleteFileW(printer.portWindowsPath.c_str());
}

std::vector<std::wstring> SpoolerFixture::EnumeratedPrinterNames() {
    std::vector<std::wstring> names;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return names;
    std::vector<BYTE> storage(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, storage.data(), needed, &needed,
                       &returned)) {
        return names;
    }
    const PRINTER_INFO_2W* infos = reinterpret_cast<const PRINTER_INFO_2W*>(storage.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(infos[i].pPrinterName);
    return names;
}

DWORD SpoolerFixture::PrinterAttributes(const std::wstring& printerName) {
    AdminPrinter printer(printerName);
    if (printer.get() == nullptr) return ~DWORD(0);
    std::vector<BYTE> storage;
    PRINTER_INFO_2W* info = QueryPrinter(printer.get(), &storage);
    return info != nullptr ? info->Attributes : ~DWORD(0);
}

// ---- MessageBoxWatcher ----------------------------------------------------

namespace {

struct BoxSearch {
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
    wchar_t className[16];
    if (GetClassNameW(window, className, 16) && lstrcmpW(className, L"#32770") == 0 &&
        IsWindowVisible(window)) {
        reinterpret_cast<BoxSearch*>(parameter)->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND window) {
    if (window == nullptr) return std::wstring();
    wchar_t text[1024];
    int length = GetWindowTextW(window, text, 1024);
    return std::wstring(text, size_t(length > 0 ? length : 0));
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(DWORD threadId, DWORD timeoutMs)
    : threadId_(threadId), timeoutMs_(timeoutMs) {
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    Stop();
    if (stop_ != nullptr) CloseHandle(stop_);
}

MessageBoxWatcher::Seen MessageBoxWatcher::Stop() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return seen_;
}

DWORD WINAPI MessageBoxWatcher::Run(LPVOID self) {
    static_cast<MessageBoxWatcher*>(self)->Watch();
    return 0;
}

void MessageBoxWatcher::Watch() {
    DWORD start = GetTickCount();
    for (;;) {
        // Asked to stop: one last look, since the box may have come just now.
        bool last =
            WaitForSingleObject(stop_, 20) == WAIT_OBJECT_0 || GetTickCount() - start >= timeoutMs_;
        BoxSearch search = {nullptr};
        EnumThreadWindows(threadId_, FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            HWND box = search.found;
            seen_.shown = true;
            seen_.text = WindowText(ChildWithId(box, 0xFFFF));
            seen_.caption = WindowText(box);
            seen_.owner = GetWindow(box, GW_OWNER);
            HWND ok = ChildWithId(box, IDOK);
            seen_.okPressed =
                ok != nullptr && PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                              reinterpret_cast<LPARAM>(ok)) != FALSE;
            // A box without OK is closed anyway, so the thread under test
            // does not wait for ever.
            if (!seen_.okPressed) PostMessageW(box, WM_CLOSE, 0, 0);
            return;
        }
        if (last) return;
    }
}
