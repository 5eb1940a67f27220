// The reference installers against Wine's real spooler, checked against the
// installer contract of docs/package.md ("The installer contract"): each case
// names the clause it checks. Beside the contract: what they do on Windows,
// and the steering variables. Each test builds a package in a fresh directory
// whose name has spaces and Chinese characters, and removes the printers and
// the driver it caused.
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kSection[] = L"PKGT";
const wchar_t kModelA[] = L"PKGTEST TP-630K";
const wchar_t kModelB[] = L"PKGTEST TP-830K";

// The fixture INF: a model section with a comment first, as real INFs have.
const char kInf[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
    "[Manufacturer]\r\n\"PKGTEST\"=PKGT\r\n\r\n"
    "[PKGT]\r\n; supported models\r\n"
    "\"PKGTEST TP-630K\" = Install, USBPRINT\\PKGTESTTP-630K5A1B\r\n"
    "\"PKGTEST TP-830K\" = Install, USBPRINT\\PKGTESTTP-830K7C2D\r\n\r\n"
    "[Empty]\r\n; nothing here\r\n";

std::wstring Directory(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Directory(path);
}

std::wstring Stars(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L' ') c = L'*';
    }
    return path;
}

std::string ReadFileBytes(const std::wstring& path) {
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

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string Utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(size_t(bytes) - 1);
    return out;
}

// Wine may release the image of a program that has just ended a moment
// after its process handle is signalled; until then the file cannot go.
bool DeleteSoon(const std::wstring& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        Sleep(50);
    }
    return false;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

struct PrinterRecord {
    std::wstring name, driver, port;
};

std::vector<PrinterRecord> LocalPrinters() {
    std::vector<PrinterRecord> printers;
    DWORD needed = 0, returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return printers;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        return printers;
    }
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        printers.push_back({info[i].pPrinterName, info[i].pDriverName ? info[i].pDriverName : L"",
                            info[i].pPortName ? info[i].pPortName : L""});
    }
    return printers;
}

std::vector<PrinterRecord> TestPrinters() {
    std::vector<PrinterRecord> ours;
    for (const PrinterRecord& printer : LocalPrinters()) {
        if (printer.driver.compare(0, 8, L"PKGTEST ") == 0) ours.push_back(printer);
    }
    return ours;
}

// The contract's test for a supported printer, as the tool makes it: a local
// printer not set to work offline whose driver name occurs (case-sensitively)
// in a line of the model section as GetPrivateProfileSectionW returns it.
std::vector<PrinterRecord> SupportedPrinters(const std::wstring& inf) {
    std::vector<wchar_t> section(32767);
    std::vector<PrinterRecord> supported;
    if (GetPrivateProfileSectionW(kSection, section.data(), 32767, inf.c_str()) == 0) {
        return supported;
    }
    DWORD needed = 0, returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return supported;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        return supported;
    }
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (!info[i].pDriverName || !*info[i].pDriverName) continue;
        if (info[i].Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) continue;
        for (const wchar_t* line = section.data(); *line; line += wcslen(line) + 1) {
            if (wcsstr(line, info[i].pDriverName)) {
                supported.push_back({info[i].pPrinterName, info[i].pDriverName,
                                     info[i].pPortName ? info[i].pPortName : L""});
                break;
            }
        }
    }
    return supported;
}

bool TestDriverRegistered() {
    DWORD needed = 0, returned = 0;
    EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return false;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrinterDriversW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &returned)) {
        return false;
    }
    const DRIVER_INFO_1W* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (wcsncmp(info[i].pName, L"PKGTEST ", 8) == 0) return true;
    }
    return false;
}

void RemoveTestPrinters() {
    for (const PrinterRecord& printer : TestPrinters()) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE handle = nullptr;
        if (OpenPrinterW(const_cast<wchar_t*>(printer.name.c_str()), &handle, &defaults)) {
            DeletePrinter(handle);
            ClosePrinter(handle);
        }
    }
    DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(kModelA));
    DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(kModelB));
}

// One environment variable, set for the children of this test and restored.
class ScopedVariable {
  public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const wchar_t* name_;
};

// A started installer, ended by its handle if the test leaves it running.
// With `errorFile` its standard error goes to that file.
class Child {
  public:
    Child(const std::wstring& exe, const std::wstring& arguments, const std::wstring& cwd,
          const std::wstring& errorFile = std::wstring()) {
        commandLine_ = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        std::vector<wchar_t> line(commandLine_.begin(), commandLine_.end());
        line.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        HANDLE error = INVALID_HANDLE_VALUE;
        if (!errorFile.empty()) {
            SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
            error = CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
            startup.hStdError = error;
        }
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr,
                            error != INVALID_HANDLE_VALUE, 0, nullptr, cwd.c_str(), &startup,
                            &process_)) {
            process_.hProcess = nullptr;
        }
        if (error != INVALID_HANDLE_VALUE) CloseHandle(error);
    }
    ~Child() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 10000);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return process_.hProcess != nullptr; }
    const std::wstring& commandLine() const { return commandLine_; }
    // True when the process ended within `ms`.
    bool Wait(DWORD ms) const {
        return started() && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0;
    }
    int ExitCode() const {
        DWORD code = 12345;
        GetExitCodeProcess(process_.hProcess, &code);
        return int(code);
    }

  private:
    std::wstring commandLine_;
    PROCESS_INFORMATION process_ = {};
};

const DWORD kDeadlineMs = 60000;

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTestPrinters();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        wchar_t name[MAX_PATH];
        // One directory per test: a file that cannot be removed (see
        // DeleteSoon) holds up no other test.
        static int serial = 0;
        wsprintfW(name, L"%stavo pkg \u6D4B\u8BD5 %lu-%d", temp, GetCurrentProcessId(), ++serial);
        package_ = name;
        RemoveTree(package_);
        ASSERT_TRUE(CreateDirectoryW(package_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((package_ + L"\\data").c_str(), nullptr));
        inf_ = package_ + L"\\data\\oemprnt.inf";
        ASSERT_TRUE(WriteFileBytes(inf_, kInf));
    }
    void TearDown() override {
        RemoveTestPrinters();
        RemoveTree(package_);
    }

    std::wstring Installer(const wchar_t* name = L"install32.exe") const {
        return OwnDirectory() + L"\\" + name;
    }
    // Runs the installer to its end (contract, "Ending": by itself) and
    // returns its exit code; what it wrote on standard error is in error_.
    int Run(const std::wstring& arguments, const wchar_t* exe = L"install32.exe") {
        const std::wstring errorFile = package_ + L"\\stderr.txt";
        error_.clear();
        Child child(Installer(exe), arguments, package_, errorFile);
        EXPECT_TRUE(child.started());
        if (!child.Wait(kDeadlineMs)) {
            ADD_FAILURE() << "installer did not end";
            return 12345;
        }
        error_ = ReadFileBytes(errorFile);
        DeleteFileW(errorFile.c_str());
        return child.ExitCode();
    }
    std::wstring GoodArguments() const { return std::wstring(kSection) + L" " + Stars(inf_); }

    std::wstring package_;
    std::wstring inf_;
    std::string error_;
};

// ---- the contract: program, command line, exit codes, afterwards ----------

// One run per row, from a clean spooler: the exit code and the number of
// supported printers afterwards, as the clause named in the row says.
TEST_F(InstallerTest, ExitCodesAndPrintersAfterwardsKeepTheContract) {
    struct Case {
        const char* clause;
        const char* what;
        std::wstring arguments;
        int exitCode;
        size_t supportedAfter;
        const wchar_t* exe = L"install32.exe";
        const wchar_t* printers = nullptr;  // TAVO_INSTALLER_PRINTERS, if set
        bool portBlocked = false;           // a directory where the port file goes
    };
    const std::wstring section = kSection;
    const Case cases[] = {
        {"Exit code: -1", "no arguments", L"", -1, 0},
        {"Exit code: -1", "only the section", section, -1, 0},
        {"Command line: every space as *", "a path with real spaces splits into several arguments",
         section + L" " + inf_, -1, 0},
        {"Command line: exactly two arguments", "a third argument", GoodArguments() + L" extra", -1,
         0},
        {"Exit code: -1", "no such INF", section + L" " + Stars(package_ + L"\\data\\missing.inf"),
         -1, 0},
        {"Exit code: -1", "the INF path names a directory", section + L" " + Stars(package_), -1,
         0},
        {"Exit code: -1", "no such section", L"NONE " + Stars(inf_), -1, 0},
        {"Exit code: -1", "a section with comments only", L"Empty " + Stars(inf_), -1, 0},
        {"Exit code: -1", "a printer count that is not a number", GoodArguments(), -1, 0,
         L"install32.exe", L"two"},
        {"Exit code: -2", "the port file cannot be created", GoodArguments(), -2, 0,
         L"install32.exe", nullptr, true},
        {"Exit code: n >= 0, Afterwards", "one printer from a path with spaces", GoodArguments(), 1,
         1},
        {"Exit code: n >= 0", "none asked for", GoodArguments(), 0, 0, L"install32.exe", L"0"},
        {"Exit code: n >= 0, Afterwards", "three asked for", GoodArguments(), 3, 3,
         L"install32.exe", L"3"},
        {"Program: install64.exe", "no such section", L"NONE " + Stars(inf_), -1, 0,
         L"install64.exe"},
        {"Program: install64.exe, Afterwards", "one printer", GoodArguments(), 1, 1,
         L"install64.exe"},
    };
    const std::wstring portFile = package_ + L"\\demo-printer.prn";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.clause) + ": " + c.what);
        if (c.printers) SetEnvironmentVariableW(L"TAVO_INSTALLER_PRINTERS", c.printers);
        if (c.portBlocked) {
            ASSERT_TRUE(CreateDirectoryW(portFile.c_str(), nullptr));
        }
        EXPECT_EQ(c.exitCode, Run(c.arguments, c.exe));
        EXPECT_EQ(c.supportedAfter, SupportedPrinters(inf_).size());
        SetEnvironmentVariableW(L"TAVO_INSTALLER_PRINTERS", nullptr);
        if (c.portBlocked) RemoveDirectoryW(portFile.c_str());
        RemoveTestPrinters();
    }
}

// Command line and Working directory: started as the tool starts it, through
// the shell by its full path in the package's data folder, hidden, with the
// package directory as the working directory.
TEST_F(InstallerTest, StartedAsTheToolStartsItInstallsOneSupportedPrinter) {
    for (const wchar_t* name : {L"install32.exe", L"install64.exe"}) {
        SCOPED_TRACE(Utf8(name));
        const std::wstring installer = package_ + L"\\data\\" + name;
        ASSERT_TRUE(CopyFileW(Installer(name).c_str(), installer.c_str(), FALSE));
        const std::wstring parameters = GoodArguments();
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = installer.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = package_.c_str();
        info.nShow = SW_HIDE;
        ASSERT_TRUE(ShellExecuteExW(&info) && info.hProcess);
        DWORD code = 12345;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, kDeadlineMs));
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
        EXPECT_EQ(1, int(code));
        EXPECT_EQ(1u, SupportedPrinters(inf_).size());
        RemoveTestPrinters();
        EXPECT_TRUE(DeleteSoon(installer));
    }
}

// Afterwards: the printer is the first model's, found by the tool's test, and
// takes a raw job: its port is the file beside the package (the path had
// spaces, which came back from the "*"s), where the job lands byte for byte.
TEST_F(InstallerTest, TheInstalledPrinterIsSupportedAndTakesRawJobs) {
    ASSERT_EQ(1, Run(GoodArguments()));

    std::vector<PrinterRecord> printers = SupportedPrinters(inf_);
    ASSERT_EQ(1u, printers.size());
    EXPECT_EQ(kModelA, printers[0].driver);
    EXPECT_EQ(kModelA, printers[0].name);

    const std::wstring portFile = package_ + L"\\demo-printer.prn";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(portFile.c_str()));
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<wchar_t*>(kModelA), &printer, nullptr));
    wchar_t docName[] = L"My Document";
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W doc = {docName, nullptr, dataType};
    const char job[] = "\x1b\x05\x0a\x01\x00\xa9\x1b\x05TEST";
    DWORD written = 0;
    ASSERT_NE(0u, StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&doc)));
    StartPagePrinter(printer);
    WritePrinter(printer, const_cast<char*>(job), 12, &written);
    EndPagePrinter(printer);
    EndDocPrinter(printer);
    ClosePrinter(printer);
    EXPECT_EQ(12u, written);
    EXPECT_EQ(std::string(job, 12), ReadFileBytes(portFile));
}

// Running again: the printer already there counts as installed.
TEST_F(InstallerTest, RunningAgainReportsTheExistingPrinterAsInstalled) {
    ASSERT_EQ(1, Run(GoodArguments()));
    EXPECT_EQ(1, Run(GoodArguments()));
    EXPECT_EQ(1u, SupportedPrinters(inf_).size());
}

// Exit code n >= 0 with TAVO_INSTALLER_PRINTERS: n distinct printers.
TEST_F(InstallerTest, SeveralPrintersHaveDistinctNamesAndPorts) {
    ScopedVariable count(L"TAVO_INSTALLER_PRINTERS", L"3");
    ASSERT_EQ(3, Run(GoodArguments()));
    std::vector<PrinterRecord> printers = TestPrinters();
    ASSERT_EQ(3u, printers.size());
    for (size_t i = 0; i < printers.size(); ++i) {
        EXPECT_EQ(kModelA, printers[i].driver);
        for (size_t j = 0; j < i; ++j) {
            EXPECT_NE(printers[i].name, printers[j].name);
            EXPECT_NE(printers[i].port, printers[j].port);
        }
    }
}

// ---- on Windows ----------------------------------------------------------------

// Wine's PostScript driver is tried under Wine only. On Windows (made
// believed here with TAVO_INSTALLER_AS_WINDOWS=1) the arguments are checked
// as under Wine; good ones give the one line of the README on standard error
// and exit 0, with no printer, no driver and no port file. Any other value
// of the variable leaves the Wine behaviour.
TEST_F(InstallerTest, OnWindowsTheDemoInstallerInstallsNothingAndSaysSo) {
    // Standard error is a text stream: the C runtime ends the line with CR LF.
    const std::string line =
        "install: this is the demo package's reference installer, which installs printers "
        "under Wine only; a printer maker ships its own driver installer under this name\r\n";
    struct Case {
        const wchar_t* asWindows;  // nullptr: unset
        const wchar_t* exe;
        std::wstring arguments;
        int exitCode;
        std::string error;
        size_t supportedAfter;
    };
    const Case cases[] = {
        {nullptr, L"install32.exe", GoodArguments(), 1, "", 1},
        {L"0", L"install32.exe", GoodArguments(), 1, "", 1},
        {L"1", L"install32.exe", GoodArguments(), 0, line, 0},
        {L"1", L"install64.exe", GoodArguments(), 0, line, 0},
        {L"1", L"install32.exe", L"NONE " + Stars(inf_), -1, "", 0},
    };
    const std::wstring portFile = package_ + L"\\demo-printer.prn";
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(std::wstring(c.exe) + L" TAVO_INSTALLER_AS_WINDOWS=" +
                          (c.asWindows ? c.asWindows : L"(unset)") + L" " + c.arguments));
        SetEnvironmentVariableW(L"TAVO_INSTALLER_AS_WINDOWS", c.asWindows);
        EXPECT_EQ(c.exitCode, Run(c.arguments, c.exe));
        SetEnvironmentVariableW(L"TAVO_INSTALLER_AS_WINDOWS", nullptr);
        EXPECT_EQ(c.error, error_);
        EXPECT_EQ(c.supportedAfter, SupportedPrinters(inf_).size());
        if (c.supportedAfter == 0) {
            EXPECT_FALSE(TestDriverRegistered());
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(portFile.c_str()));
        }
        RemoveTestPrinters();
        DeleteFileW(portFile.c_str());
    }
}

// ---- steering variables ------------------------------------------------------

TEST_F(InstallerTest, ForcedExitCodeIsReturnedWithoutInstalling) {
    for (const wchar_t* code : {L"7", L"-2", L"0"}) {
        ScopedVariable exitCode(L"TAVO_INSTALLER_EXIT", code);
        EXPECT_EQ(_wtoi(code), Run(GoodArguments()));
    }
    EXPECT_TRUE(TestPrinters().empty());
}

TEST_F(InstallerTest, LogGetsTheExactCommandLineOfEachRun) {
    const std::wstring log = package_ + L"\\installer.log";
    ScopedVariable logVariable(L"TAVO_INSTALLER_LOG", log);
    ScopedVariable exitCode(L"TAVO_INSTALLER_EXIT", L"0");
    Child first(Installer(), GoodArguments(), package_);
    ASSERT_TRUE(first.Wait(kDeadlineMs));
    Child second(Installer(), L"ONE TWO", package_);
    ASSERT_TRUE(second.Wait(kDeadlineMs));
    EXPECT_EQ(Utf8(first.commandLine()) + "\n" + Utf8(second.commandLine()) + "\n",
              ReadFileBytes(log));
}

TEST_F(InstallerTest, CrashHangAndDelayBehaveAsAsked) {
    {
        // Exit code, any other negative code: a crash ends with 0xC0000005,
        // a negative number as the tool reads it.
        ScopedVariable crash(L"TAVO_INSTALLER_CRASH", L"1");
        const int code = Run(GoodArguments());
        EXPECT_EQ(int(EXCEPTION_ACCESS_VIOLATION), code);
        EXPECT_LT(code, -2);
    }
    {
        ScopedVariable hang(L"TAVO_INSTALLER_HANG", L"1");
        Child child(Installer(), GoodArguments(), package_);
        ASSERT_TRUE(child.started());
        EXPECT_FALSE(child.Wait(1500)) << "a hanging installer ended";
    }  // ended by its handle here
    {
        ScopedVariable delay(L"TAVO_INSTALLER_DELAY_MS", L"3000");
        ScopedVariable exitCode(L"TAVO_INSTALLER_EXIT", L"4");
        Child child(Installer(), GoodArguments(), package_);
        ASSERT_TRUE(child.started());
        EXPECT_FALSE(child.Wait(300)) << "the delay was not kept";
        ASSERT_TRUE(child.Wait(kDeadlineMs));
        EXPECT_EQ(4, child.ExitCode());
    }
    EXPECT_TRUE(TestPrinters().empty());
}

}  // namespace
