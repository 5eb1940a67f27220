// The reference driver installer of the demo package: data\install32.exe and
// data\install64.exe. The tool starts it as
//
//     install32.exe <section> <INF path with every space written as *>
//
// It reads the model section of that INF, registers the first model's driver
// with the spooler and adds one printer (or TAVO_INSTALLER_PRINTERS of them)
// whose port is a file beside the package, and exits with the number of
// printers installed: -1 for a parameter error, -2 when a file cannot be
// created or the driver cannot be registered. The TAVO_INSTALLER_* variables
// that let tests steer it are listed in README.md beside this file.
//
// The driver files are those of Wine's PostScript driver, so it installs only
// under Wine, which is where the demo and the tests run it. On Windows it
// checks its arguments as under Wine, then installs nothing: it says on
// standard error that it is the demo's installer and exits with 0. A real
// package ships the maker's own installer under the same names.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "platform/scoped_win.h"
#include "platform/system_libraries.h"

namespace {

enum {
    kParameterError = -1,
    kFileError = -2,
    kSectionChars = 32767,  // the most one section read can return
    kMaxPrinters = 99,
};

const wchar_t kPortFileStem[] = L"demo-printer";

// The one line said on real Windows, where Wine's driver does not exist.
const char kNotUnderWineLine[] =
    "install: this is the demo package's reference installer, which installs printers under "
    "Wine only; a printer maker ships its own driver installer under this name\n";

// ---- the steering variables ----------------------------------------------

// Reads an integer variable; returns 0 when it is unset. `*value` is set only
// when the whole text is a decimal number.
bool ReadIntegerVariable(const wchar_t* name, long* value, bool* malformed) {
    wchar_t text[32];
    DWORD length = GetEnvironmentVariableW(name, text, 32);
    if (length == 0 || length >= 32) {
        *malformed = length >= 32;
        return false;
    }
    wchar_t* end = nullptr;
    long parsed = wcstol(text, &end, 10);
    *malformed = end == text || *end != L'\0';
    if (*malformed) return false;
    *value = parsed;
    return true;
}

bool VariableIsOne(const wchar_t* name) {
    wchar_t text[4];
    return GetEnvironmentVariableW(name, text, 4) == 1 && text[0] == L'1';
}

// Appends the command line, exactly as the process received it, to the file
// named by TAVO_INSTALLER_LOG, in UTF-8 with one line per run.
void LogCommandLine() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"TAVO_INSTALLER_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const wchar_t* commandLine = GetCommandLineW();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    HeapBlock block(size_t(bytes), 0);
    char* line = static_cast<char*>(block.get());
    if (!line) return;
    WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, line, bytes, nullptr, nullptr);
    line[bytes - 1] = '\n';  // the terminator's place
    FileHandle log(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (log.valid()) WriteFile(log.get(), line, DWORD(bytes), &written, nullptr);
}

// ---- Wine or Windows ------------------------------------------------------

// Wine's ntdll exports wine_get_version; that of Windows does not.
bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Whether this run may register Wine's PostScript driver: under Wine only.
// TAVO_INSTALLER_AS_WINDOWS=1 lets a test under Wine see the Windows
// behaviour. It can only turn the answer from yes to no, so on Windows, where
// the answer is no anyway, no setting of it can lead to an attempt with a
// driver that is not there.
bool MayInstallWineDriver() {
    return RunningUnderWine() && !VariableIsOne(L"TAVO_INSTALLER_AS_WINDOWS");
}

void SayNotUnderWine() {
    fputs(kNotUnderWineLine, stderr);
    fflush(stderr);
}

// ---- the INF --------------------------------------------------------------

// The first model of the section: the key of its first "key = value" line,
// blanks and surrounding quotes removed. "TAVO TP-630K" = Install, USB\...
// gives TAVO TP-630K, which is a part of the line as the section read
// returns it, so the tool's search recognises the driver. Comment lines
// (";") are skipped. Returns false when no line has a key.
bool FirstModelName(const wchar_t* section, wchar_t* name, size_t nameChars) {
    for (const wchar_t* line = section; *line; line += wcslen(line) + 1) {
        if (line[0] == L';') continue;
        const wchar_t* equals = wcschr(line, L'=');
        if (!equals) continue;
        const wchar_t* begin = line;
        const wchar_t* end = equals;
        while (begin < end && (*begin == L' ' || *begin == L'\t')) ++begin;
        while (end > begin && (end[-1] == L' ' || end[-1] == L'\t')) --end;
        if (end - begin >= 2 && *begin == L'"' && end[-1] == L'"') {
            ++begin;
            --end;
        }
        size_t length = size_t(end - begin);
        if (length == 0 || length >= nameChars) continue;
        wmemcpy(name, begin, length);
        name[length] = L'\0';
        return true;
    }
    return false;
}

// The package directory: the parent of the INF's directory (the INF lies in
// <package>\data). Works on the full path, so it always has a directory.
void PackageDirectoryOf(const wchar_t* infPath, wchar_t* directory, size_t chars) {
    wcsncpy(directory, infPath, chars - 1);
    directory[chars - 1] = L'\0';
    for (int cut = 0; cut < 2; ++cut) {
        wchar_t* slash = wcsrchr(directory, L'\\');
        if (!slash) return;
        // Keep the backslash of a drive root: "C:\".
        if (slash > directory && slash[-1] == L':') {
            slash[1] = L'\0';
            return;
        }
        *slash = L'\0';
    }
}

// ---- the port -------------------------------------------------------------

typedef char*(CDECL* UnixNameFn)(LPCWSTR);

// Makes sure the port file exists without touching one that does (it may be
// a FIFO that somebody reads). False when it cannot be created, or when a
// directory stands in its place.
bool EnsurePortFile(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    FileHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() || GetLastError() == ERROR_FILE_EXISTS;
}

// The port name for a file: its Unix path, into which Wine's spooler writes
// every raw job of the port. Only reached under Wine.
bool PortNameForFile(const wchar_t* windowsPath, wchar_t* port, size_t portChars) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    UnixNameFn toUnix = kernel ? reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "wine_get_unix_file_name")))
                               : nullptr;
    if (!toUnix) return false;
    char* unixPath = toUnix(windowsPath);
    if (!unixPath) return false;
    int chars = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, port, int(portChars));
    HeapFree(GetProcessHeap(), 0, unixPath);
    return chars > 0;
}

// ---- the spooler ------------------------------------------------------------

bool AddDriver(wchar_t* driverName) {
    wchar_t driverPath[] = L"wineps.drv";
    wchar_t dataFile[] = L"generic.ppd";
    wchar_t configFile[] = L"wineps.drv";
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = driverName;
    driver.pDriverPath = driverPath;
    driver.pDataFile = dataFile;
    driver.pConfigFile = configFile;
    return AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) ||
           GetLastError() == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED;
}

// Adds one printer; one that already exists counts as installed, so the
// installer can run again.
bool AddOnePrinter(wchar_t* printerName, wchar_t* driverName, wchar_t* port) {
    wchar_t processor[] = L"WinPrint";
    wchar_t dataType[] = L"RAW";
    PRINTER_INFO_2W info = {};
    info.pPrinterName = printerName;
    info.pPortName = port;
    info.pDriverName = driverName;
    info.pPrintProcessor = processor;
    info.pDatatype = dataType;
    PrinterHandle printer(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    if (printer.valid()) return true;
    return GetLastError() == ERROR_PRINTER_ALREADY_EXISTS;
}

int Install(const wchar_t* sectionName, const wchar_t* encodedInfPath, long printerCount) {
    // The tool writes every space of the path as "*"; no Windows path holds
    // a "*" of its own.
    wchar_t given[MAX_PATH];
    if (wcslen(encodedInfPath) >= MAX_PATH) return kParameterError;
    wcscpy(given, encodedInfPath);
    for (wchar_t* c = given; *c; ++c) {
        if (*c == L'*') *c = L' ';
    }
    wchar_t infPath[MAX_PATH];
    DWORD length = GetFullPathNameW(given, MAX_PATH, infPath, nullptr);
    if (length == 0 || length >= MAX_PATH) return kParameterError;
    DWORD attributes = GetFileAttributesW(infPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return kParameterError;
    }

    HeapBlock block(kSectionChars * sizeof(wchar_t), HEAP_ZERO_MEMORY);
    wchar_t* section = static_cast<wchar_t*>(block.get());
    if (!section) return kParameterError;
    if (GetPrivateProfileSectionW(sectionName, section, kSectionChars, infPath) == 0) {
        return kParameterError;  // no such section, or an empty one
    }
    wchar_t driverName[200];
    if (!FirstModelName(section, driverName, 200)) return kParameterError;
    if (!MayInstallWineDriver()) {
        SayNotUnderWine();
        return 0;  // no printer installed
    }
    if (printerCount == 0) return 0;

    wchar_t packageDir[MAX_PATH];
    PackageDirectoryOf(infPath, packageDir, MAX_PATH);
    const wchar_t* separator = packageDir[wcslen(packageDir) - 1] == L'\\' ? L"" : L"\\";

    if (!AddDriver(driverName)) return kFileError;
    int installed = 0;
    for (long n = 1; n <= printerCount; ++n) {
        wchar_t portFile[MAX_PATH + 32];
        wchar_t printerName[260];
        if (n == 1) {
            wsprintfW(portFile, L"%s%s%s.prn", packageDir, separator, kPortFileStem);
            wsprintfW(printerName, L"%s", driverName);
        } else {
            wsprintfW(portFile, L"%s%s%s-%ld.prn", packageDir, separator, kPortFileStem, n);
            wsprintfW(printerName, L"%s (%ld)", driverName, n);
        }
        if (wcslen(portFile) >= MAX_PATH || !EnsurePortFile(portFile)) return kFileError;
        wchar_t port[2 * MAX_PATH];
        if (!PortNameForFile(portFile, port, 2 * MAX_PATH)) return kFileError;
        if (AddOnePrinter(printerName, driverName, port)) ++installed;
    }
    return installed;
}

// The spooler's library cannot be loaded from System32: said on standard
// error, and the process ends with STATUS_DLL_NOT_FOUND, as for a missing
// load-time import, which the tool reports as an abnormal end.
// (fputs, not fprintf: MinGW's C++ headers route printf to its own
// implementation, 25 KB of it.)
void ReportMissingLibrary(const char* library, const char* function) {
    fputs("install: cannot load ", stderr);
    if (function) {
        fputs(function, stderr);
        fputs(" of ", stderr);
    }
    fputs(library ? library : "?", stderr);
    fputs(" from System32\n", stderr);
    fflush(stderr);
    ExitProcess(0xC0000135u);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Before anything else can load a library.
    RestrictDllSearchToSystem32(ReportMissingLibrary);
    LogCommandLine();

    long value = 0;
    bool malformed = false;
    if (ReadIntegerVariable(L"TAVO_INSTALLER_DELAY_MS", &value, &malformed) && value > 0) {
        Sleep(DWORD(value));
    }
    if (VariableIsOne(L"TAVO_INSTALLER_CRASH")) {
        // An unhandled access violation: the process ends with 0xC0000005.
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    if (VariableIsOne(L"TAVO_INSTALLER_HANG")) {
        for (;;) Sleep(INFINITE);
    }
    if (ReadIntegerVariable(L"TAVO_INSTALLER_EXIT", &value, &malformed)) return int(value);

    long printerCount = 1;
    if (ReadIntegerVariable(L"TAVO_INSTALLER_PRINTERS", &printerCount, &malformed)) {
        if (printerCount < 0 || printerCount > kMaxPrinters) return kParameterError;
    } else if (malformed) {
        return kParameterError;
    }
    if (argc != 3) return kParameterError;
    return Install(argv[1], argv[2], printerCount);
}
