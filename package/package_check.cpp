// The assembled demo package under Wine, read and run the way the tool does:
// the two files it checks, the model section through GetPrivateProfileSectionW,
// and an installation started with ShellExecuteExW from the package directory
// with the tool's command line, after which exactly one printer whose driver a
// model line names is present and takes raw jobs into the port file.
//
//     package_check PACKAGE_DIR
//
// Prints one line per failed check; the exit code is the number of failures.
// The printer and driver it causes are removed again.
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <stdio.h>
#include <string>
#include <vector>

namespace {

int Failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++Failures;
    }
}

bool Exists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> SectionLines(const std::wstring& inf) {
    std::vector<wchar_t> buffer(20000);
    std::vector<std::wstring> lines;
    if (GetPrivateProfileSectionW(TAVO_INF_SECTION_W, buffer.data(), 20000, inf.c_str()) == 0) {
        return lines;
    }
    for (const wchar_t* line = buffer.data(); *line; line += wcslen(line) + 1)
        lines.push_back(line);
    return lines;
}

struct Printer {
    std::wstring name, driver;
};

// The local printers whose driver name occurs in a model line: the tool's
// own test for a supported printer.
std::vector<Printer> SupportedPrinters(const std::vector<std::wstring>& lines) {
    std::vector<Printer> found;
    DWORD needed = 0, returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return found;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        return found;
    }
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (!info[i].pDriverName || !*info[i].pDriverName) continue;
        for (const std::wstring& line : lines) {
            if (line.find(info[i].pDriverName) != std::wstring::npos) {
                found.push_back({info[i].pPrinterName, info[i].pDriverName});
                break;
            }
        }
    }
    return found;
}

void RemovePrinters(const std::vector<Printer>& printers) {
    for (const Printer& printer : printers) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE handle = nullptr;
        if (OpenPrinterW(const_cast<wchar_t*>(printer.name.c_str()), &handle, &defaults)) {
            DeletePrinter(handle);
            ClosePrinter(handle);
        }
    }
    for (const Printer& printer : printers) {
        DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(printer.driver.c_str()));
    }
}

// Starts the installer as the tool does: relative to the current directory,
// the word and the INF path with "*" for spaces, hidden, and waits.
int RunInstallerLikeTheTool(const wchar_t* installer, const std::wstring& inf) {
    std::wstring parameters = std::wstring(TAVO_INF_SECTION_W) + L" " + inf;
    for (size_t i = wcslen(TAVO_INF_SECTION_W) + 1; i < parameters.size(); ++i) {
        if (parameters[i] == L' ') parameters[i] = L'*';
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = installer;
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return 12345;
    DWORD code = 12345;
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(info.hProcess, &code);
    } else {
        TerminateProcess(info.hProcess, 99);
    }
    CloseHandle(info.hProcess);
    return int(code);
}

bool SendRaw(const std::wstring& printerName, const std::string& bytes) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), &printer, nullptr)) return false;
    wchar_t docName[] = L"My Document";
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W doc = {docName, nullptr, dataType};
    DWORD written = 0;
    if (StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&doc))) {
        if (StartPagePrinter(printer)) {
            WritePrinter(printer, const_cast<char*>(bytes.data()), DWORD(bytes.size()), &written);
            EndPagePrinter(printer);
        }
        EndDocPrinter(printer);
    }
    ClosePrinter(printer);
    return written == bytes.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        printf("usage: package_check PACKAGE_DIR\n");
        return 100;
    }
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(argv[1], MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        printf("FAILED: package path\n");
        return 100;
    }
    const std::wstring package = full;
    const std::wstring inf = package + L"\\data\\oemprnt.inf";
    const std::wstring portFile = package + L"\\demo-printer.prn";

    Check(Exists(inf), "data\\oemprnt.inf present");
    Check(ReadBytes(package + L"\\.dep").size() == 256, ".dep is 256 bytes");
    Check(Exists(package + L"\\data\\install32.exe"), "data\\install32.exe present");
    Check(Exists(package + L"\\data\\install64.exe"), "data\\install64.exe present");
    Check(Exists(package + L"\\data\\\u8BF4\u660E\u4E66.docx"), "data\\说明书.docx present");

    const std::vector<std::wstring> lines = SectionLines(inf);
    Check(lines.size() >= 2, "the model section lists at least two models");
    Check(lines.size() < 20000, "the model section fits the tool's buffer");

    // Both installers, from the package directory as the tool runs them.
    Check(SetCurrentDirectoryW(package.c_str()) != 0, "enter the package directory");
    for (const wchar_t* installer : {L".\\data\\install32.exe", L".\\data\\install64.exe"}) {
        RemovePrinters(SupportedPrinters(lines));
        DeleteFileW(portFile.c_str());
        char what[100];
        snprintf(what, sizeof what, "%ls reports 1 printer", installer);
        Check(RunInstallerLikeTheTool(installer, inf) == 1, what);
        std::vector<Printer> printers = SupportedPrinters(lines);
        snprintf(what, sizeof what, "%ls leaves exactly one supported printer", installer);
        Check(printers.size() == 1, what);
        if (printers.size() == 1) {
            const std::string command(
                "\x1b\x05\x0a\x01\x00\xa9\x1b\x05"
                "DOTM",
                12);
            Check(SendRaw(printers[0].name, command), "a raw job is accepted");
            Check(ReadBytes(portFile) == command, "the job lands in demo-printer.prn");
        }
        RemovePrinters(printers);
    }
    DeleteFileW(portFile.c_str());

    printf("%s: %d failed check(s)\n", Failures ? "FAIL" : "PASS", Failures);
    return Failures;
}
