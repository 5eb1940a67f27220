// Which installer runs and its command line.
#include <gtest/gtest.h>

#include <wchar.h>

#include <string>

#include "printer/install_run.h"
#include "printer/package_files.h"

namespace {

TEST(Installer, SixtyFourBitExactlyUnderWow64) {
    EXPECT_STREQ(L"data\\install64.exe", InstallerRelativePath(1));
    EXPECT_STREQ(L"data\\install32.exe", InstallerRelativePath(0));
}

TEST(Installer, PathInsideThePackageDirectory) {
    wchar_t out[kPathChars];
    ASSERT_EQ(1, BuildInstallerPath(L"C:\\My Tools", 1, out, kPathChars));
    EXPECT_STREQ(L"C:\\My Tools\\data\\install64.exe", out);
    ASSERT_EQ(1, BuildInstallerPath(L"C:\\Tools", 0, out, kPathChars));
    EXPECT_STREQ(L"C:\\Tools\\data\\install32.exe", out);

    // No package directory: nothing to run.
    EXPECT_EQ(0, BuildInstallerPath(L"", 0, out, kPathChars));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(0, BuildInstallerPath(nullptr, 0, out, kPathChars));

    // "\data\install32.exe" is 19 characters: with the terminator a
    // directory of n characters needs n + 20.
    std::wstring directory(40, L'd');
    wchar_t small[61];
    EXPECT_EQ(1, BuildInstallerPath(directory.c_str(), 0, small, 60));
    EXPECT_EQ(59u, wcslen(small));
    small[60] = L'#';
    EXPECT_EQ(0, BuildInstallerPath(directory.c_str(), 0, small, 59));
    EXPECT_STREQ(L"", small);
    EXPECT_EQ(L'#', small[60]);
}

TEST(InstallerCommandLine, SpacesBecomeStars) {
    // Package at C:\My Tools on 64-bit Windows.
    PackagePaths paths;
    ASSERT_EQ(1, BuildPackagePaths(L"C:\\My Tools\\setup.exe", &paths));
    wchar_t out[kCommandLineChars];
    ASSERT_EQ(1, BuildInstallerCommandLine(L"TAVO", paths.infPath, out, kCommandLineChars));
    EXPECT_STREQ(L"TAVO C:\\My*Tools\\data\\oemprnt.inf", out);

    struct {
        const wchar_t* path;
        const wchar_t* line;
    } cases[] = {
        {L"C:\\Tools\\data\\oemprnt.inf", L"TAVO C:\\Tools\\data\\oemprnt.inf"},
        {L"C:\\a  b \\data\\oemprnt.inf", L"TAVO C:\\a**b*\\data\\oemprnt.inf"},
        {L" ", L"TAVO *"},
        {L"C:\\打印机 驱动\\data\\oemprnt.inf", L"TAVO C:\\打印机*驱动\\data\\oemprnt.inf"},
        {L"", L"TAVO "},
    };
    for (auto& c : cases) {
        EXPECT_EQ(1, BuildInstallerCommandLine(L"TAVO", c.path, out, kCommandLineChars));
        EXPECT_STREQ(c.line, out);
    }
}

TEST(InstallerCommandLine, FitsFiveHundredCharactersOrIsRefused) {
    wchar_t out[kCommandLineChars + 1];
    // Word, space and path: 4 + 1 + 494 = 499 characters and the terminator.
    std::wstring path = L"C:\\" + std::wstring(491, L'p');
    out[kCommandLineChars] = L'#';
    ASSERT_EQ(1, BuildInstallerCommandLine(L"TAVO", path.c_str(), out, kCommandLineChars));
    EXPECT_EQ(499u, wcslen(out));
    EXPECT_EQ(L'#', out[kCommandLineChars]);

    path += L'p';
    EXPECT_EQ(0, BuildInstallerCommandLine(L"TAVO", path.c_str(), out, kCommandLineChars));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(L'#', out[kCommandLineChars]) << "wrote past the buffer";
}

TEST(InstallerCommandLine, RefusesQuotesAndControlCharacters) {
    const wchar_t* refused[] = {
        L"C:\\a\" /evil \"b\\data\\oemprnt.inf",
        L"C:\\a\tb\\data\\oemprnt.inf",
        L"C:\\a\nb\\data\\oemprnt.inf",
        L"C:\\a\rb",
        L"C:\\a\x1f",
        L"C:\\a\x7f",
    };
    for (const wchar_t* path : refused) {
        wchar_t out[kCommandLineChars];
        out[0] = L'#';
        EXPECT_EQ(0, BuildInstallerCommandLine(L"TAVO", path, out, kCommandLineChars));
        EXPECT_STREQ(L"", out);
    }
    wchar_t out[kCommandLineChars];
    EXPECT_EQ(0, BuildInstallerCommandLine(L"TA O", L"C:\\x", out, kCommandLineChars));
    EXPECT_EQ(0, BuildInstallerCommandLine(L"TA\"O", L"C:\\x", out, kCommandLineChars));
    EXPECT_EQ(0, BuildInstallerCommandLine(nullptr, L"C:\\x", out, kCommandLineChars));
    EXPECT_EQ(0, BuildInstallerCommandLine(L"TAVO", nullptr, out, kCommandLineChars));
    EXPECT_EQ(0, BuildInstallerCommandLine(L"TAVO", L"C:\\x", out, 0));
}

}  // namespace
