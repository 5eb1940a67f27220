// The reference installers against Wine's real spooler: exit codes, the
// printers they register, the "*"-for-space path and the steering variables.
// Each test builds a package in a fresh directory whose name has spaces and
// Chinese characters, and removes the printers and the driver it caused.
#include <windows.h>
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
class Child {
  public:
    Child(const std::wstring& exe, const std::wstring& arguments, const std::wstring& cwd) {
        commandLine_ = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        std::vector<wchar_t> line(commandLine_.begin(), commandLine_.end());
        line.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            cwd.c_str(), &startup, &process_)) {
            process_.hProcess = nullptr;
        }
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
        wsprintfW(name, L"%stavo pkg \u6D4B\u8BD5 %lu", temp, GetCurrentProcessId());
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
    // Runs the installer to its end and returns its exit code.
    int Run(const std::wstring& arguments, const wchar_t* exe = L"install32.exe") {
        Child child(Installer(exe), arguments, package_);
        EXPECT_TRUE(child.started());
        if (!child.Wait(kDeadlineMs)) {
            ADD_FAILURE() << "installer did not end";
            return 12345;
        }
        return child.ExitCode();
    }
    std::wstring GoodArguments() const { return std::wstring(kSection) + L" " + Stars(inf_); }

    std::wstring package_;
    std::wstring inf_;
};

// ---- exit codes for bad input ----------------------------------------------

TEST_F(InstallerTest, ParameterErrorsExitMinusOneAndInstallNothing) {
    struct Case {
        const char* what;
        std::wstring arguments;
    };
    const Case cases[] = {
        {"no arguments", L""},
        {"only the word", kSection},
        {"a path with real spaces splits into several arguments",
         std::wstring(kSection) + L" " + inf_},
        {"a third argument", GoodArguments() + L" extra"},
        {"no such INF", std::wstring(kSection) + L" " + Stars(package_ + L"\\data\\missing.inf")},
        {"the INF path names a directory", std::wstring(kSection) + L" " + Stars(package_)},
        {"no such section", L"NONE " + Stars(inf_)},
        {"a section with comments only", L"Empty " + Stars(inf_)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(-1, Run(c.arguments)) << c.what;
    }
    {
        ScopedVariable count(L"TAVO_INSTALLER_PRINTERS", L"two");
        EXPECT_EQ(-1, Run(GoodArguments())) << "a printer count that is not a number";
    }
    EXPECT_TRUE(TestPrinters().empty());
}

TEST_F(InstallerTest, PortFileThatCannotBeCreatedExitsMinusTwo) {
    // A directory where the port file should go.
    ASSERT_TRUE(CreateDirectoryW((package_ + L"\\demo-printer.prn").c_str(), nullptr));
    EXPECT_EQ(-2, Run(GoodArguments()));
    EXPECT_TRUE(TestPrinters().empty());
}

// ---- installing -------------------------------------------------------------

TEST_F(InstallerTest, InstallsTheFirstModelFromAPathWithSpaces) {
    ASSERT_EQ(1, Run(GoodArguments()));

    std::vector<PrinterRecord> printers = TestPrinters();
    ASSERT_EQ(1u, printers.size());
    EXPECT_EQ(kModelA, printers[0].driver);
    EXPECT_EQ(kModelA, printers[0].name);

    // The tool recognises the printer when its driver name is a part of a
    // line of the model section as the section read returns it.
    std::vector<wchar_t> section(32767);
    ASSERT_GT(GetPrivateProfileSectionW(kSection, section.data(), 32767, inf_.c_str()), 0u);
    bool named = false;
    for (const wchar_t* line = section.data(); *line; line += wcslen(line) + 1) {
        if (wcsstr(line, printers[0].driver.c_str())) named = true;
    }
    EXPECT_TRUE(named);

    // Its port is the file beside the package (the path had spaces, which
    // came back from the "*"s): a raw job lands there byte for byte.
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

TEST_F(InstallerTest, RunningAgainReportsTheExistingPrinterAsInstalled) {
    ASSERT_EQ(1, Run(GoodArguments()));
    EXPECT_EQ(1, Run(GoodArguments()));
    EXPECT_EQ(1u, TestPrinters().size());
}

TEST_F(InstallerTest, PrinterCountVariableGivesDistinctPrintersOrNone) {
    {
        ScopedVariable count(L"TAVO_INSTALLER_PRINTERS", L"0");
        EXPECT_EQ(0, Run(GoodArguments()));
        EXPECT_TRUE(TestPrinters().empty());
    }
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

TEST_F(InstallerTest, TheSixtyFourBitNameBehavesTheSame) {
    EXPECT_EQ(-1, Run(L"NONE " + Stars(inf_), L"install64.exe"));
    EXPECT_EQ(1, Run(GoodArguments(), L"install64.exe"));
    EXPECT_EQ(1u, TestPrinters().size());
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
        ScopedVariable crash(L"TAVO_INSTALLER_CRASH", L"1");
        EXPECT_EQ(int(EXCEPTION_ACCESS_VIOLATION), Run(GoodArguments()));
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
