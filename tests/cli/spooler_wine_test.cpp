// tavoctl.exe against Wine's spooler: file-port printers of a supported
// driver (online, set to work offline, paused) and one of another driver.
// Usage: tavoctl_wine_tests PATH_OF_TAVOCTL_EXE
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "printer/settings_command.h"
#include "spooler_fixture.h"

namespace {

std::wstring TavoctlPath;

struct Ran {
    DWORD code = ~0u;
    std::string out;  // standard output and error, UTF-8
};

// Runs tavoctl.exe with `args` (already quoted) and collects its output.
Ran RunTavoctl(const std::wstring& args) {
    Ran ran;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return ran;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = L"\"" + TavoctlPath + L"\" " + args;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            ran.out.append(chunk, got);
        }
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &ran.code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return ran;
}

std::string Command(int row, int option) {
    unsigned char bytes[kSettingCommandBytes];
    BuildSettingCommand(row, option, bytes);
    return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

bool Pause(const wchar_t* name) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, &access)) return false;
    BOOL paused = SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PAUSE);
    ClosePrinter(printer);
    return paused != FALSE;
}

class TavoctlWine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(spooler.ready());
        ASSERT_TRUE(spooler.AddDriver(kDriver));
        ASSERT_TRUE(spooler.AddDriver(L"Other Driver"));
        ASSERT_TRUE(spooler.AddFilePortPrinter(L"tavo_one", kDriver));
        ASSERT_TRUE(
            spooler.AddFilePortPrinter(L"tavo_offline", kDriver, PRINTER_ATTRIBUTE_WORK_OFFLINE));
        ASSERT_TRUE(spooler.AddFilePortPrinter(L"tavo_paused", kDriver));
        // Wine 8's SetPrinterW does not carry out PRINTER_CONTROL_PAUSE (it
        // fails); Windows does. Where it fails the queue stays online and the
        // checks of a paused queue are skipped.
        paused = Pause(L"tavo_paused");
        ASSERT_TRUE(spooler.AddFilePortPrinter(L"other", L"Other Driver"));
        // The model list as the package's INF carries it, in UTF-16.
        wchar_t section[5];
        BuildInfSectionWord(section);
        std::wstring inf = L"\xFEFF[Version]\r\nSignature=\"$Windows NT$\"\r\n[" +
                           std::wstring(section) + L"]\r\n\"" + kDriver +
                           L"\" = Install, USB\\VID_1234&PID_0001\r\n";
        infPath = spooler.windowsDir() + L"\\oemprnt.inf";
        HANDLE file =
            CreateFileW(infPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, inf.data(), DWORD(inf.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    std::wstring Inf() const { return L" --inf \"" + infPath + L"\" "; }

    const wchar_t* kDriver = L"TAVO DP-550 Test";
    SpoolerFixture spooler;
    std::wstring infPath;
    bool paused = false;
};

TEST_F(TavoctlWine, ListsSupportedPrintersWithStates) {
    Ran ran = RunTavoctl(L"list --json --all-queues" + Inf());
    EXPECT_EQ(ran.code, 0u) << ran.out;
    for (const char* expected :
         {"{\"name\":\"tavo_one\",\"model\":\"TAVO DP-550 "
          "Test\",\"state\":\"online\",\"supported\":true}",
          "\"tavo_offline\",\"model\":\"TAVO DP-550 "
          "Test\",\"state\":\"offline\",\"supported\":true",
          "\"other\",\"model\":\"Other Driver\",\"state\":\"online\",\"supported\":false"}) {
        EXPECT_NE(ran.out.find(expected), std::string::npos) << expected << "\n" << ran.out;
    }
    std::string pausedEntry =
        std::string("\"tavo_paused\",\"model\":\"TAVO DP-550 Test\",\"state\":\"") +
        (paused ? "paused" : "online") + "\",\"supported\":true";
    EXPECT_NE(ran.out.find(pausedEntry), std::string::npos) << ran.out;
}

TEST_F(TavoctlWine, ApplyDeliversExactlyTheEncodedBytesAndDecodeReadsThemBack) {
    // Chinese setting and label on the command line, as UTF-16 arguments.
    Ran ran = RunTavoctl(L"apply -p tavo_one" + Inf() + L"拖纸器页长=\"17 英寸\"");
    EXPECT_EQ(ran.code, 0u) << ran.out;
    EXPECT_NE(ran.out.find("tavo_one: 拖纸器页长 = 17 英寸 (setting 1, option 17): delivered"),
              std::string::npos)
        << ran.out;
    EXPECT_EQ(spooler.ReadPort(L"tavo_one"), Command(1, 17));

    // encode -o gives the same bytes; decode reads the port's bytes back.
    std::wstring encoded = spooler.windowsDir() + L"\\encoded.bin";
    ran = RunTavoctl(L"encode -o \"" + encoded + L"\" 1 17");
    EXPECT_EQ(ran.code, 0u) << ran.out;
    ran = RunTavoctl(L"decode \"" + encoded + L"\"");
    EXPECT_EQ(ran.code, 0u);
    EXPECT_NE(ran.out.find("offset 0: 拖纸器页长 = 17 英寸 (setting 1, option 17)"),
              std::string::npos)
        << ran.out;

    // Each command is its own job: a file port keeps the last one.
    ran = RunTavoctl(L"apply -p tavo_one" + Inf() + L"auto-wrap=on direction=单向");
    EXPECT_EQ(ran.code, 0u) << ran.out;
    EXPECT_EQ(spooler.ReadPort(L"tavo_one"), Command(4, 1));
}

TEST_F(TavoctlWine, OfflinePausedMissingAndForeignPrintersAreReported) {
    Ran ran = RunTavoctl(L"apply -p tavo_offline" + Inf() + L"auto-wrap=on");
    EXPECT_EQ(ran.code, 1u) << ran.out;
    EXPECT_NE(ran.out.find("tavo_offline: offline: nothing sent"), std::string::npos) << ran.out;
    bool exists = true;
    spooler.ReadPort(L"tavo_offline", &exists);
    EXPECT_FALSE(exists);

    // A paused queue keeps the job: not delivered within the deadline.
    if (paused) {
        ran = RunTavoctl(L"apply -p tavo_paused --timeout 1" + Inf() + L"auto-wrap=on auto-cut=on");
        EXPECT_EQ(ran.code, 1u) << ran.out;
        EXPECT_NE(ran.out.find("queued"), std::string::npos) << ran.out;
        EXPECT_NE(ran.out.find("自动切纸 = 开 (setting 2, option 1): not sent"), std::string::npos);
    }

    ran = RunTavoctl(L"apply -p nowhere" + Inf() + L"auto-wrap=on");
    EXPECT_EQ(ran.code, 3u) << ran.out;
    ran = RunTavoctl(L"apply -p other" + Inf() + L"auto-wrap=on");
    EXPECT_EQ(ran.code, 3u) << ran.out;
    EXPECT_NE(ran.out.find("not a supported printer"), std::string::npos);
}

TEST_F(TavoctlWine, ApplyToAllReportsEveryPrinter) {
    Ran ran = RunTavoctl(L"apply --all --timeout 1" + Inf() + L"自动换行=关");
    EXPECT_EQ(ran.code, 1u) << ran.out;
    EXPECT_EQ(spooler.ReadPort(L"tavo_one"), Command(3, 0));
    EXPECT_NE(ran.out.find(paused ? "1 of 3 printers got every command"
                                  : "2 of 3 printers got every command"),
              std::string::npos)
        << ran.out;
    bool exists = true;
    spooler.ReadPort(L"other", &exists);
    EXPECT_FALSE(exists);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: tavoctl_wine_tests TAVOCTL_EXE\n");
        return 2;
    }
    // A Unix path from the build reaches Wine through drive Z:.
    TavoctlPath = argv[1];
    if (!TavoctlPath.empty() && TavoctlPath[0] == L'/') {
        for (wchar_t& c : TavoctlPath) c = c == L'/' ? L'\\' : c;
        TavoctlPath = L"Z:" + TavoctlPath;
    }
    return RUN_ALL_TESTS();
}
