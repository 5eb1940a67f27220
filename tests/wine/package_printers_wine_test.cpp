// The package loader and the printer search against Wine's real spooler:
// printers with file ports receive the raw jobs, the package files are laid
// out in temporary directories, and the "文件不全" box is read and closed
// from a second thread.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"
#include "spooler_fixture.h"

namespace {

const wchar_t kDriverOne[] = L"Tavo Test DM-1";
const wchar_t kDriverTwo[] = L"Tavo Test DM-2";
const wchar_t kOtherDriver[] = L"Tavo Test Laser";
const wchar_t kLineOne[] = L"Tavo Test DM-1 = Install, USB\\VID_1234&PID_0001";
const wchar_t kLineTwo[] = L"Tavo Test DM-2 = Install, USB\\VID_1234&PID_0002";

const DWORD kBoxWaitMs = 20000;

// Every byte value a setting command may carry, terminator and line ends
// included, so a text-mode or cut write shows.
const unsigned char kCommand[12] = {0x1B, 0x00, 0xFF, 0x0A, 0x0D, 0x1A,
                                    0x7F, 0x80, 'D',  'O',  'T',  'M'};

std::string CommandBytes() { return std::string(reinterpret_cast<const char*>(kCommand), 12); }

std::wstring FoundName() {
    wchar_t name[kFoundNameChars];
    CopyFoundPrinterName(name);
    return name;
}

size_t ModelListCapacity() { return kModelListBytes / sizeof(WCHAR); }

// Puts `lines` into the package's model list, as a section read would.
void SetModelList(std::initializer_list<const wchar_t*> lines) {
    if (Package.modelList == nullptr) {
        Package.modelList = static_cast<wchar_t*>(calloc(1, kModelListBytes));
    }
    ASSERT_NE(Package.modelList, nullptr);
    wchar_t* at = Package.modelList;
    for (const wchar_t* line : lines) {
        size_t length = wcslen(line);
        memcpy(at, line, (length + 1) * sizeof(wchar_t));
        at += length + 1;
    }
    at[0] = L'\0';
    at[1] = L'\0';
}

// The supported printers among `names`, in the order the spooler lists them.
std::vector<std::wstring> InEnumerationOrder(std::initializer_list<std::wstring> names) {
    std::vector<std::wstring> ordered;
    for (const std::wstring& listed : SpoolerFixture::EnumeratedPrinterNames()) {
        for (const std::wstring& name : names) {
            if (listed == name) ordered.push_back(listed);
        }
    }
    return ordered;
}

class PrinterSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(spooler.ready()) << "no port directory";
        ASSERT_TRUE(spooler.AddDriver(kDriverOne));
        ASSERT_TRUE(spooler.AddDriver(kDriverTwo));
        ASSERT_TRUE(spooler.AddDriver(kOtherDriver));
        SetModelList({L"; supported models", kLineOne, kLineTwo});
    }

    SpoolerFixture spooler;
};

TEST_F(PrinterSearchTest, CountsOnlineSupportedPrintersAndSendsEachOneJob) {
    // Created out of name order, so a search that ignored the spooler's
    // order could not pass by chance on Wine.
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Zeta", kDriverOne));
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Alpha", kDriverTwo));
    ASSERT_TRUE(
        spooler.AddFilePortPrinter(L"Tavo Offline", kDriverOne, PRINTER_ATTRIBUTE_WORK_OFFLINE));
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Laser", kOtherDriver));
    ASSERT_NE(SpoolerFixture::PrinterAttributes(L"Tavo Offline") & PRINTER_ATTRIBUTE_WORK_OFFLINE,
              0u);

    // Wine lists local printers sorted by name (its registry order), not in
    // the order they were added; Windows gives no promised order. The
    // expectation follows whatever EnumPrintersW reports.
    std::vector<std::wstring> supported = InEnumerationOrder({L"Tavo Zeta", L"Tavo Alpha"});
    ASSERT_EQ(supported.size(), 2u);

    SetFoundPrinterName(L"before");
    EXPECT_EQ(FindOurPrinters(nullptr, 0), 2);
    EXPECT_EQ(FoundName(), supported[1]);
    for (const wchar_t* name : {L"Tavo Zeta", L"Tavo Alpha", L"Tavo Offline", L"Tavo Laser"}) {
        bool written = true;
        spooler.ReadPort(name, &written);
        EXPECT_FALSE(written) << "a pure search sent a job to " << testing::PrintToString(name);
    }

    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 2);
    EXPECT_EQ(FoundName(), supported[1]);
    for (const wchar_t* name : {L"Tavo Zeta", L"Tavo Alpha"}) {
        bool written = false;
        EXPECT_EQ(spooler.ReadPort(name, &written), CommandBytes()) << testing::PrintToString(name);
        EXPECT_TRUE(written);
    }
    for (const wchar_t* name : {L"Tavo Offline", L"Tavo Laser"}) {
        bool written = true;
        spooler.ReadPort(name, &written);
        EXPECT_FALSE(written) << "a job reached " << testing::PrintToString(name);
    }
}

TEST_F(PrinterSearchTest, ModelListWithoutAnInstalledDriverFindsNothing) {
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Zeta", kDriverOne));
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Laser", kOtherDriver));
    SetFoundPrinterName(L"before");

    SetModelList({L"Tavo Absent Model = Install, USB\\VID_9999"});
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 0);
    // Driver names are matched case-sensitively.
    SetModelList({L"tavo test dm-1 = Install, USB\\VID_1234&PID_0001"});
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 0);
    SetModelList({});
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 0);
    // No list at all (its allocation failed at start) finds nothing too.
    wchar_t* list = Package.modelList;
    Package.modelList = nullptr;
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 0);
    Package.modelList = list;

    EXPECT_EQ(FoundName(), L"before");
    for (const wchar_t* name : {L"Tavo Zeta", L"Tavo Laser"}) {
        bool written = true;
        spooler.ReadPort(name, &written);
        EXPECT_FALSE(written) << testing::PrintToString(name);
    }
}

TEST_F(PrinterSearchTest, PrinterSetOfflineIsNotCounted) {
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Zeta", kDriverOne));
    EXPECT_EQ(FindOurPrinters(nullptr, 0), 1);

    ASSERT_TRUE(spooler.SetOffline(L"Tavo Zeta", true));
    ASSERT_NE(SpoolerFixture::PrinterAttributes(L"Tavo Zeta") & PRINTER_ATTRIBUTE_WORK_OFFLINE, 0u);
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 0);
    bool written = true;
    spooler.ReadPort(L"Tavo Zeta", &written);
    EXPECT_FALSE(written);

    ASSERT_TRUE(spooler.SetOffline(L"Tavo Zeta", false));
    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 1);
    EXPECT_EQ(spooler.ReadPort(L"Tavo Zeta"), CommandBytes());
}

TEST_F(PrinterSearchTest, RawJobDeliversExactlyTheBytes) {
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Zeta", kDriverOne));

    EXPECT_EQ(SendRawToPrinter(L"Tavo Zeta", kCommand, sizeof kCommand), 1);
    EXPECT_EQ(spooler.ReadPort(L"Tavo Zeta"), CommandBytes());

    // A larger job than the spooler's first buffer would hold, every value.
    std::string large(70000, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = char(i * 7 + i / 256);
    EXPECT_EQ(SendRawToPrinter(L"Tavo Zeta", large.data(), uint32_t(large.size())), 1);
    EXPECT_EQ(spooler.ReadPort(L"Tavo Zeta"), large);

    // Nothing to send is no job at all.
    spooler.ClearPorts();
    EXPECT_EQ(SendRawToPrinter(L"Tavo Zeta", kCommand, 0), 0);
    bool written = true;
    spooler.ReadPort(L"Tavo Zeta", &written);
    EXPECT_FALSE(written);

    EXPECT_EQ(SendRawToPrinter(L"Tavo No Such Printer", kCommand, sizeof kCommand), 0);
}

TEST_F(PrinterSearchTest, LongPrinterNameIsCutInTheFoundNameButGetsItsJob) {
    std::wstring longName = L"Tavo ";
    while (longName.size() < 120) longName += L"Long";
    ASSERT_TRUE(spooler.AddFilePortPrinter(longName, kDriverOne));

    EXPECT_EQ(FindOurPrinters(kCommand, sizeof kCommand), 1);
    EXPECT_EQ(FoundName(), longName.substr(0, kFoundNameChars - 1));
    // The job goes to the printer's full name, not to the cut one.
    EXPECT_EQ(spooler.ReadPort(longName), CommandBytes());
}

// ---- Package files ----------------------------------------------------------

// A package directory under the Windows temporary directory, removed with
// everything in it when the test ends.
class PackageDir {
  public:
    PackageDir() {
        wchar_t temp[MAX_PATH];
        DWORD length = GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH) return;
        static unsigned serial = 0;
        wchar_t name[MAX_PATH];
        wsprintfW(name, L"%stavo-package-%lu-%u", temp, GetCurrentProcessId(), ++serial);
        if (!CreateDirectoryW(name, nullptr)) return;
        dir_ = name;
        CreateDirectoryW((dir_ + L"\\data").c_str(), nullptr);
    }
    ~PackageDir() {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        if (!dir_.empty()) {
            RemoveDirectoryW((dir_ + L"\\data").c_str());
            RemoveDirectoryW(dir_.c_str());
        }
    }
    PackageDir(const PackageDir&) = delete;
    PackageDir& operator=(const PackageDir&) = delete;

    bool ready() const { return !dir_.empty(); }
    const std::wstring& dir() const { return dir_; }
    std::wstring exePath() const { return dir_ + L"\\tool.exe"; }
    std::wstring path(const wchar_t* relative) const { return dir_ + L"\\" + relative; }

    bool Write(const wchar_t* relative, const std::string& bytes) {
        std::wstring file = path(relative);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        DWORD wrote = 0;
        BOOL ok =
            bytes.empty() || WriteFile(handle, bytes.data(), DWORD(bytes.size()), &wrote, nullptr);
        CloseHandle(handle);
        files_.push_back(file);
        return ok && wrote == bytes.size();
    }

    // The INF with the model section and a decoy section around it.
    bool WriteInf(const std::string& modelSection) {
        wchar_t section[5];
        BuildInfSectionWord(section);
        std::string word;
        for (const wchar_t* c = section; *c; ++c) word += char(*c);
        return Write(L"data\\oemprnt.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[" +
                                               word + "]\r\n" + modelSection +
                                               "\r\n[Decoy]\r\nTavo Decoy Model = Install\r\n");
    }

  private:
    std::wstring dir_;
    std::vector<std::wstring> files_;
};

// `count` bytes where value number c reads as 1000 * c - 7 (the last value
// may be cut short).
std::string SettingsBytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        uint32_t value = uint32_t(1000 * int32_t(i / 4) - 7);
        bytes[i] = char((value >> (8 * (i % 4))) & 0xFF);
    }
    return bytes;
}

const char kModelSection[] =
    "Tavo Test DM-1 = Install, USB\\VID_1234&PID_0001\r\n"
    "Tavo Test DM-2 = Install, USB\\VID_1234&PID_0002\r\n";

// Loads a package and returns what the box watcher saw meanwhile.
MessageBoxWatcher::Seen Load(const std::wstring& exePath) {
    MessageBoxWatcher watcher(GetCurrentThreadId(), kBoxWaitMs);
    LoadPackageFilesFrom(exePath.c_str());
    return watcher.Stop();
}

// A complete package first, so a later load must really reset what it set.
void LoadFullPackage() {
    PackageDir full;
    ASSERT_TRUE(full.ready());
    ASSERT_TRUE(full.WriteInf(kModelSection));
    ASSERT_TRUE(full.Write(L".dep", std::string(256, '\x11')));
    ASSERT_FALSE(Load(full.exePath()).shown);
    ASSERT_EQ(Package.complete, 1);
    ASSERT_EQ(Package.settings.values[63], 0x11111111);
    ASSERT_NE(Package.modelList[0], L'\0');
}

TEST(PackageFiles, CompletePackageIsReadAndSearched) {
    SpoolerFixture spooler;
    ASSERT_TRUE(spooler.ready());
    ASSERT_TRUE(spooler.AddDriver(kDriverTwo));
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Alpha", kDriverTwo));
    SetFoundPrinterName(L"");

    PackageDir package;
    ASSERT_TRUE(package.ready());
    ASSERT_TRUE(package.WriteInf(kModelSection));
    ASSERT_TRUE(package.Write(L".dep", SettingsBytes(256)));

    MessageBoxWatcher::Seen box = Load(package.exePath());
    EXPECT_FALSE(box.shown) << testing::PrintToString(box.text);
    EXPECT_EQ(Package.complete, 1);
    EXPECT_EQ(std::wstring(Package.paths.directory), package.dir());
    EXPECT_EQ(std::wstring(Package.paths.infPath), package.path(L"data\\oemprnt.inf"));
    EXPECT_EQ(std::wstring(Package.paths.settingsPath), package.path(L".dep"));
    EXPECT_EQ(std::wstring(Package.paths.manualPath), package.path(L"data\\说明书.docx"));
    for (int c = 0; c < kSettingsValues; ++c) {
        EXPECT_EQ(Package.settings.values[c], 1000 * c - 7) << "value " << c;
    }
    EXPECT_TRUE(ModelListContains(Package.modelList, ModelListCapacity(), kDriverOne));
    EXPECT_TRUE(ModelListContains(Package.modelList, ModelListCapacity(), kDriverTwo));
    EXPECT_FALSE(ModelListContains(Package.modelList, ModelListCapacity(), L"Tavo Decoy Model"));
    EXPECT_FALSE(ModelListContains(Package.modelList, ModelListCapacity(), L"Signature"));
    // The first search ran and found the one installed printer.
    EXPECT_EQ(FoundName(), L"Tavo Alpha");
}

TEST(PackageFiles, SettingsFileLengthDecidesWhatIsRead) {
    struct Case {
        size_t fileBytes;
        int valuesFromFile;  // the rest read as 0
    };
    const Case cases[] = {{40, 10}, {0, 0}, {42, 10}, {256, 64}, {300, 64}};
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.fileBytes << " bytes");
        LoadFullPackage();
        PackageDir package;
        ASSERT_TRUE(package.ready());
        ASSERT_TRUE(package.WriteInf(kModelSection));
        std::string bytes = SettingsBytes(test.fileBytes);
        if (test.fileBytes > 256) {
            // Past 256 the file holds anything; it must not be read.
            for (size_t i = 256; i < bytes.size(); ++i) bytes[i] = '\x5A';
        }
        ASSERT_TRUE(package.Write(L".dep", bytes));

        EXPECT_FALSE(Load(package.exePath()).shown);
        EXPECT_EQ(Package.complete, 1);
        for (int c = 0; c < kSettingsValues; ++c) {
            int expected = c < test.valuesFromFile ? 1000 * c - 7 : 0;
            if (test.fileBytes == 42 && c == 10)
                expected = int32_t(uint32_t(1000 * 10 - 7) & 0xFFFF);
            EXPECT_EQ(Package.settings.values[c], expected) << "value " << c;
        }
    }
}

TEST(PackageFiles, MissingFileShowsTheBoxAndKeepsTheStateUsable) {
    struct Case {
        const char* what;
        bool inf;
        bool settings;
    };
    const Case cases[] = {
        {"no INF", false, true}, {"no .dep", true, false}, {"neither", false, false}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        LoadFullPackage();
        SetFoundPrinterName(L"before");
        PackageDir package;
        ASSERT_TRUE(package.ready());
        if (test.inf) {
            ASSERT_TRUE(package.WriteInf(kModelSection));
        }
        if (test.settings) {
            ASSERT_TRUE(package.Write(L".dep", SettingsBytes(256)));
        }

        MessageBoxWatcher::Seen box = Load(package.exePath());
        ASSERT_TRUE(box.shown);
        EXPECT_EQ(box.text, L"文件不全");
        // No caption given: the system's default ("Error" on Wine and on an
        // English Windows), never an empty one.
        EXPECT_FALSE(box.caption.empty());
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_TRUE(box.okPressed);

        EXPECT_EQ(Package.complete, 0);
        // Install and Manual go on with the paths.
        EXPECT_EQ(std::wstring(Package.paths.infPath), package.path(L"data\\oemprnt.inf"));
        EXPECT_EQ(std::wstring(Package.paths.settingsPath), package.path(L".dep"));
        EXPECT_EQ(std::wstring(Package.paths.manualPath), package.path(L"data\\说明书.docx"));
        for (int c = 0; c < kSettingsValues; ++c) {
            EXPECT_EQ(Package.settings.values[c], 0) << "value " << c;
        }
        ASSERT_NE(Package.modelList, nullptr);
        EXPECT_EQ(Package.modelList[0], L'\0');
        EXPECT_FALSE(ModelListContains(Package.modelList, ModelListCapacity(), kDriverOne));
        // No search was made.
        EXPECT_EQ(FoundName(), L"before");
    }
}

TEST(PackageFiles, PathWithoutDirectoryShowsTheBox) {
    LoadFullPackage();
    MessageBoxWatcher::Seen box = Load(L"tool.exe");
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.text, L"文件不全");
    EXPECT_EQ(Package.complete, 0);
    EXPECT_EQ(std::wstring(Package.paths.infPath), L"tool.exe");
    EXPECT_EQ(Package.paths.settingsPath[0], L'\0');
    EXPECT_EQ(Package.modelList[0], L'\0');
    EXPECT_EQ(FindOurPrinters(nullptr, 0), 0);
}

TEST(PackageFiles, SettingsFileThatCannotBeOpenedReadsAsZero) {
    LoadFullPackage();
    PackageDir package;
    ASSERT_TRUE(package.ready());
    ASSERT_TRUE(package.WriteInf(kModelSection));
    ASSERT_TRUE(package.Write(L".dep", SettingsBytes(256)));
    // Held open without sharing: it exists, but the loader cannot open it.
    HANDLE held = CreateFileW(package.path(L".dep").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(Load(package.exePath()).shown);
    CloseHandle(held);
    EXPECT_EQ(Package.complete, 1);
    for (int c = 0; c < kSettingsValues; ++c) {
        EXPECT_EQ(Package.settings.values[c], 0) << "value " << c;
    }
    EXPECT_TRUE(ModelListContains(Package.modelList, ModelListCapacity(), kDriverOne));
}

TEST(PackageFiles, InfWithoutTheModelSectionGivesAnEmptyList) {
    SpoolerFixture spooler;
    ASSERT_TRUE(spooler.ready());
    ASSERT_TRUE(spooler.AddDriver(kDriverOne));
    ASSERT_TRUE(spooler.AddFilePortPrinter(L"Tavo Zeta", kDriverOne));

    LoadFullPackage();
    PackageDir package;
    ASSERT_TRUE(package.ready());
    ASSERT_TRUE(package.Write(L"data\\oemprnt.inf",
                              "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                              "[Other]\r\nTavo Test DM-1 = Install\r\n"));
    ASSERT_TRUE(package.Write(L".dep", SettingsBytes(256)));

    EXPECT_FALSE(Load(package.exePath()).shown);
    EXPECT_EQ(Package.complete, 1);
    EXPECT_EQ(Package.modelList[0], L'\0');
    EXPECT_EQ(FindOurPrinters(nullptr, 0), 0);
}

TEST(PackageFiles, OwnExecutableNamesThePackageDirectory) {
    // The test program's directory holds no package, so the box shows; the
    // paths still come from the program's own location.
    wchar_t own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, DWORD(MAX_PATH));
    std::wstring directory(own);
    directory.resize(directory.rfind(L'\\'));

    MessageBoxWatcher watcher(GetCurrentThreadId(), kBoxWaitMs);
    LoadPackageFiles();
    MessageBoxWatcher::Seen box = watcher.Stop();
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(std::wstring(Package.paths.directory), directory);
    EXPECT_EQ(std::wstring(Package.paths.infPath), directory + L"\\data\\oemprnt.inf");
    EXPECT_EQ(std::wstring(Package.paths.settingsPath), directory + L"\\.dep");
}

}  // namespace
