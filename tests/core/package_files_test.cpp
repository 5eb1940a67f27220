// Package paths, the settings block and the model list.
#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "package_files.h"

namespace {

const wchar_t kInfSuffix[] = L"\\data\\oemprnt.inf";
const wchar_t kSettingsSuffix[] = L"\\.dep";
const wchar_t kManualSuffix[] = L"\\data\\说明书.docx";

// The length of a buffer's text, or kPathChars when it has no terminator.
size_t TerminatedLength(const wchar_t (&buffer)[kPathChars]) {
    size_t n = 0;
    while (n < kPathChars && buffer[n] != L'\0') ++n;
    return n;
}

TEST(PackagePaths, ToolsExample) {
    PackagePaths paths;
    ASSERT_EQ(1, BuildPackagePaths(L"C:\\Tools\\setup.exe", &paths));
    EXPECT_STREQ(L"C:\\Tools", paths.directory);
    EXPECT_STREQ(L"C:\\Tools\\data\\oemprnt.inf", paths.infPath);
    EXPECT_STREQ(L"C:\\Tools\\.dep", paths.settingsPath);
    EXPECT_STREQ(L"C:\\Tools\\data\\说明书.docx", paths.manualPath);
}

struct PathCase {
    const wchar_t* exe;
    int result;
    const wchar_t* directory;
    const wchar_t* infPath;
    const wchar_t* settingsPath;
};

TEST(PackagePaths, WhereTheLastBackslashIs) {
    const PathCase cases[] = {
        // No backslash: the INF path keeps the executable's path and the
        // settings path stays empty, so the existence check fails.
        {L"setup.exe", 0, L"", L"setup.exe", L""},
        // Position 0 is not examined: a leading backslash is no directory.
        {L"\\setup.exe", 0, L"", L"\\setup.exe", L""},
        {L"\\", 0, L"", L"\\", L""},
        {L"", 0, L"", L"", L""},
        // The last backslash counts, not the first.
        {L"C:\\a\\b\\c.exe", 1, L"C:\\a\\b", L"C:\\a\\b\\data\\oemprnt.inf", L"C:\\a\\b\\.dep"},
        // A backslash at position 1 is examined.
        {L"C\\x.exe", 1, L"C", L"C\\data\\oemprnt.inf", L"C\\.dep"},
        // A trailing backslash: the whole path before it is the directory.
        {L"C:\\Tools\\", 1, L"C:\\Tools", L"C:\\Tools\\data\\oemprnt.inf", L"C:\\Tools\\.dep"},
        {L"\\\\server\\share\\t.exe", 1, L"\\\\server\\share",
         L"\\\\server\\share\\data\\oemprnt.inf", L"\\\\server\\share\\.dep"},
        {L"C:\\My Tools\\setup.exe", 1, L"C:\\My Tools", L"C:\\My Tools\\data\\oemprnt.inf",
         L"C:\\My Tools\\.dep"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "exe path length " << wcslen(c.exe));
        PackagePaths paths;
        memset(&paths, 0x5A, sizeof paths);  // no stale text may survive
        EXPECT_EQ(c.result, BuildPackagePaths(c.exe, &paths));
        EXPECT_STREQ(c.directory, paths.directory);
        EXPECT_STREQ(c.infPath, paths.infPath);
        EXPECT_STREQ(c.settingsPath, paths.settingsPath);
        if (c.result == 0) {
            EXPECT_STREQ(L"", paths.manualPath);
        }
    }
}

TEST(PackagePaths, NullOrOverlongExecutablePathBuildsNothing) {
    PackagePaths paths;
    EXPECT_EQ(0, BuildPackagePaths(nullptr, &paths));
    EXPECT_STREQ(L"", paths.infPath);
    std::wstring tooLong = L"C:\\" + std::wstring(kPathChars, L'a');
    EXPECT_EQ(0, BuildPackagePaths(tooLong.c_str(), &paths));
    EXPECT_STREQ(L"", paths.directory);
    EXPECT_STREQ(L"", paths.infPath);
    EXPECT_STREQ(L"", paths.settingsPath);
    EXPECT_STREQ(L"", paths.manualPath);
}

// Checks one derived path: built exactly when directory + suffix fits the
// buffer with its terminator, otherwise empty - never a cut (and so a
// different) path.
void ExpectDerived(const std::wstring& directory, const wchar_t* suffix,
                   const wchar_t (&buffer)[kPathChars]) {
    size_t length = TerminatedLength(buffer);
    ASSERT_LT(length, size_t(kPathChars)) << "no terminator inside the buffer";
    std::wstring intended = directory + suffix;
    if (intended.size() + 1 <= size_t(kPathChars)) {
        EXPECT_EQ(intended, std::wstring(buffer));
    } else {
        EXPECT_EQ(0u, length) << "a path that does not fit must be refused, not cut";
    }
}

TEST(PackagePaths, LongDirectoriesAreRefusedNeverCut) {
    // Every directory length an executable path of at most 259 characters
    // allows; the executable's name is one letter, so the directory can
    // reach 257 characters, far past what the derived paths fit.
    for (size_t dirLength = 1; dirLength + 2 <= size_t(kPathChars) - 1; ++dirLength) {
        std::wstring directory = L"C:";
        while (directory.size() < dirLength) directory += (directory.size() % 9 ? L'd' : L'\\');
        directory.resize(dirLength);
        if (directory.back() == L'\\') directory.back() = L'e';
        std::wstring exe = directory + L"\\x";
        SCOPED_TRACE(testing::Message() << "directory length " << dirLength);

        PackagePaths paths;
        memset(&paths, 0x5A, sizeof paths);
        int result = BuildPackagePaths(exe.c_str(), &paths);
        EXPECT_EQ(directory, std::wstring(paths.directory));
        ExpectDerived(directory, kInfSuffix, paths.infPath);
        ExpectDerived(directory, kSettingsSuffix, paths.settingsPath);
        ExpectDerived(directory, kManualSuffix, paths.manualPath);
        bool allFit = directory.size() + wcslen(kInfSuffix) + 1 <= size_t(kPathChars);
        EXPECT_EQ(allFit ? 1 : 0, result);
    }
}

TEST(PackagePaths, LongestDirectoryThatStillFits) {
    // "\data\oemprnt.inf" is the longest suffix (17 characters): a directory
    // of 242 characters gives an INF path of exactly 259.
    std::wstring directory = L"C:\\" + std::wstring(239, L'p');
    ASSERT_EQ(242u, directory.size());
    PackagePaths paths;
    EXPECT_EQ(1, BuildPackagePaths((directory + L"\\t.exe").c_str(), &paths));
    EXPECT_EQ(259u, wcslen(paths.infPath));

    directory += L'p';
    EXPECT_EQ(0, BuildPackagePaths((directory + L"\\t.exe").c_str(), &paths));
    EXPECT_STREQ(L"", paths.infPath);
    EXPECT_EQ(directory + kSettingsSuffix, std::wstring(paths.settingsPath));
}

// ---- settings block -------------------------------------------------------

void PutLe32(std::vector<unsigned char>& bytes, size_t index, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[4 * index + i] = static_cast<unsigned char>(value >> 8 * i);
}

TEST(SettingsBlock, LittleEndianSignedValues) {
    std::vector<unsigned char> bytes(256, 0);
    PutLe32(bytes, 0, 0x04030201u);
    PutLe32(bytes, 5, 13);
    PutLe32(bytes, 7, 0xFFFFFFFFu);  // -1
    PutLe32(bytes, 9, 0x80000000u);  // the smallest value
    PutLe32(bytes, 10, 0x7FFFFFFFu);
    PutLe32(bytes, 11, 0x00010000u);  // large, beyond any option count
    PutLe32(bytes, 63, 0xFFFFFF00u);  // -256, the last value
    SettingsBlock block;
    DecodeSettingsBlock(bytes.data(), bytes.size(), &block);
    EXPECT_EQ(0x04030201, block.values[0]);
    EXPECT_EQ(13, block.values[5]);
    EXPECT_EQ(-1, block.values[7]);
    EXPECT_EQ(INT32_MIN, block.values[9]);
    EXPECT_EQ(INT32_MAX, block.values[10]);
    EXPECT_EQ(65536, block.values[11]);
    EXPECT_EQ(-256, block.values[63]);
    EXPECT_EQ(0, block.values[1]);
}

TEST(SettingsBlock, ShortFileLeavesTheRestZero) {
    // A file of 40 bytes: values 0 to 9 come from it, 10 to 63 are zero.
    std::vector<unsigned char> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(0xA0 + i);
    SettingsBlock block;
    memset(&block, 0x77, sizeof block);
    DecodeSettingsBlock(bytes.data(), bytes.size(), &block);
    for (int i = 0; i < 10; ++i) {
        uint32_t expected = uint32_t(0xA0 + 4 * i) | uint32_t(0xA1 + 4 * i) << 8 |
                            uint32_t(0xA2 + 4 * i) << 16 | uint32_t(0xA3 + 4 * i) << 24;
        EXPECT_EQ(int32_t(expected), block.values[i]) << "value " << i;
    }
    for (int i = 10; i < kSettingsValues; ++i) EXPECT_EQ(0, block.values[i]) << "value " << i;

    // A length that ends inside a value keeps that value's bytes present.
    DecodeSettingsBlock(bytes.data(), 6, &block);
    EXPECT_EQ(int32_t(0xA5A4u), block.values[1]);
    EXPECT_EQ(0, block.values[2]);

    DecodeSettingsBlock(nullptr, 0, &block);
    for (int i = 0; i < kSettingsValues; ++i) EXPECT_EQ(0, block.values[i]);
}

TEST(SettingsBlock, LongerFileIsReadTo256Bytes) {
    std::vector<unsigned char> bytes(300, 0);
    PutLe32(bytes, 63, 42);
    PutLe32(bytes, 64, 7);  // byte 256 on: ignored
    SettingsBlock block;
    DecodeSettingsBlock(bytes.data(), bytes.size(), &block);
    EXPECT_EQ(42, block.values[63]);
}

// ---- model list -------------------------------------------------------------

// A multi-string: each line terminated, then the empty line.
std::vector<wchar_t> MultiString(const std::vector<std::wstring>& lines) {
    std::vector<wchar_t> list;
    for (const std::wstring& line : lines) {
        list.insert(list.end(), line.begin(), line.end());
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

std::vector<std::wstring> Walk(const std::vector<wchar_t>& list) {
    std::vector<std::wstring> lines;
    size_t position = 0;
    ModelLine line;
    while (NextModelLine(list.data(), list.size(), &position, &line)) {
        lines.emplace_back(line.text, line.length);
        if (lines.size() > list.size()) break;  // a walk that never ends
    }
    return lines;
}

TEST(ModelList, WalksEveryLineAndStopsAtTheEmptyOne) {
    std::vector<wchar_t> list = MultiString({L"Model A=Install,USB\\VID_1", L"B", L"Model C"});
    list.push_back(L'X');  // after the empty line: not a line
    list.push_back(L'\0');
    EXPECT_EQ((std::vector<std::wstring>{L"Model A=Install,USB\\VID_1", L"B", L"Model C"}),
              Walk(list));
    EXPECT_TRUE(Walk(MultiString({})).empty());
    EXPECT_TRUE(Walk(std::vector<wchar_t>{}).empty());
}

TEST(ModelList, UnterminatedListEndsAtCapacity) {
    // Exactly sized heap buffers: a read past the end shows under ASan.
    std::vector<wchar_t> list = {L'a', L'b', L'\0', L'M', L'o', L'd', L'e', L'l'};
    EXPECT_EQ((std::vector<std::wstring>{L"ab", L"Model"}), Walk(list));
    EXPECT_EQ(1, ModelListContains(list.data(), list.size(), L"Model"));
    EXPECT_EQ(1, ModelListContains(list.data(), list.size(), L"del"));
    EXPECT_EQ(0, ModelListContains(list.data(), list.size(), L"Models"));

    // A capacity that cuts the list hides what lies past it.
    std::vector<wchar_t> longer = {L'M', L'o', L'd', L'e', L'l', L' ', L'X', L'\0', L'\0'};
    EXPECT_EQ(1, ModelListContains(longer.data(), longer.size(), L"Model X"));
    EXPECT_EQ(0, ModelListContains(longer.data(), 5, L"Model X"));
    EXPECT_EQ(1, ModelListContains(longer.data(), 5, L"Model"));
    EXPECT_EQ(0, ModelListContains(longer.data(), 0, L"M"));
}

struct ContainsCase {
    const wchar_t* needle;
    int found;
};

TEST(ModelList, CaseSensitiveSubstringOfOneLine) {
    std::vector<wchar_t> list =
        MultiString({L"[TAVO]", L"Model X = Install, USB\\VID_1234", L"Other Y = Install"});
    const ContainsCase cases[] = {
        {L"Model X", 1},
        {L"model x", 0},  // case-sensitive
        {L"MODEL X", 0},
        {L"USB\\VID_1234", 1},
        {L"Install", 1},
        {L"Other Y = Install", 1},
        {L"Other Y = Install ", 0},
        {L"VID_1234Other", 0},  // never across the end of a line
        {L"1234\0Other", 1},    // the needle ends at its own terminator
        {L"Model Z", 0},
        {L"", 0},  // an empty driver name names no model
    };
    for (const ContainsCase& c : cases) {
        EXPECT_EQ(c.found, ModelListContains(list.data(), list.size(), c.needle))
            << "needle '" << c.needle << "'";
    }
    EXPECT_EQ(0, ModelListContains(list.data(), list.size(), nullptr));
}

TEST(ModelList, EmptyListMatchesNothing) {
    std::vector<wchar_t> empty = MultiString({});
    EXPECT_EQ(0, ModelListContains(empty.data(), empty.size(), L"Model X"));
    // Lines after a leading empty string are not part of the list.
    std::vector<wchar_t> hidden = {L'\0', L'M', L'\0', L'\0'};
    EXPECT_EQ(0, ModelListContains(hidden.data(), hidden.size(), L"M"));
    EXPECT_EQ(0, ModelListContains(nullptr, 100, L"M"));
}

}  // namespace
