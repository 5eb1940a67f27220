// Package paths, the settings block and the model list.
#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "printer/package_files.h"
#include "printer/settings_command.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

TEST(PackagePaths, SlashSeparatorForLinux) {
    const PathCase cases[] = {
        {L"/opt/tavo/tavoctl", 1, L"/opt/tavo", L"/opt/tavo/data/oemprnt.inf", L"/opt/tavo/.dep"},
        // A backslash is an ordinary character of a Linux name.
        {L"/opt/a\\b/tavoctl", 1, L"/opt/a\\b", L"/opt/a\\b/data/oemprnt.inf", L"/opt/a\\b/.dep"},
        {L"tavoctl", 0, L"", L"tavoctl", L""},
        {L"/tavoctl", 0, L"", L"/tavoctl", L""},  // position 0 is not examined
    };
    for (const PathCase& c : cases) {
        PackagePaths paths;
        EXPECT_EQ(c.result, BuildPackagePathsWith(c.exe, L'/', &paths)) << c.exe;
        EXPECT_STREQ(c.directory, paths.directory);
        EXPECT_STREQ(c.infPath, paths.infPath);
        EXPECT_STREQ(c.settingsPath, paths.settingsPath);
    }
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

// ---- the model section, read as GetPrivateProfileSectionW reads it ----------

// File bytes, NULs included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// UTF-16 bytes with a byte order mark, of BMP text.
std::string Utf16(const std::wstring& text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t c : text) {
        char high = char(unsigned(c) >> 8), low = char(unsigned(c) & 0xFF);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

// A buffer written as a string, '|' standing for each NUL.
std::wstring Nuls(const wchar_t* text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = c == L'|' ? L'\0' : c;
    return out;
}

struct SectionCase {
    const char* label;
    std::string bytes;
    const wchar_t* section;
    size_t size;
    // The buffer from its start up to and including the character at the
    // index of the count returned, so the count is its length - 1.
    std::wstring expected;
    bool windowsAlike;  // false where Windows knowingly reads otherwise
};

const char kCut[] = "[TAVO]\r\nabc=1\r\ndefgh=2\r\n";  // "abc=1|defgh=2|" in full, 14

std::vector<SectionCase> SectionCases() {
    return {
        {"trims lines and '=', skips comments and blanks, keeps quotes",
         "[TAVO]\r\na=1\r\n  b = 2  \r\n;c\r\n\r\nd\r\n  ; e = 3\r\n\"q\" = "
         "\"v\"\r\n[x]\r\nz=1\r\n",
         L"TAVO", 1000, Nuls(L"a=1|b=2|d|\"q\"=\"v\"||"), true},
        {"inner blanks stay, tabs are blanks", "[TAVO]\r\n\t a b \t=\t c d\t\r\n", L"TAVO", 100,
         Nuls(L"a b=c d||"), true},
        {"section name case", "[tavo]\r\na=1\r\n", L"TAVO", 100, Nuls(L"a=1||"), true},
        {"first section of the name only", "[TAVO]\r\na=1\r\n[x]\r\nq\r\n[Tavo]\r\nb=2\r\n",
         L"TAVO", 100, Nuls(L"a=1||"), true},
        {"an empty first section hides a later one", "[TAVO]\r\n[TAVO]\r\nb=2\r\n", L"TAVO", 100,
         Nuls(L"|"), true},
        {"header trimmed inside and out", "  [ \tTAVO ]  ; x\r\na=1\r\n", L"TAVO", 100,
         Nuls(L"a=1||"), true},
        {"header ends at its last ']'", "[TA]VO] x\r\na=1\r\n", L"TA]VO", 100, Nuls(L"a=1||"),
         true},
        {"no ']': no header, an ordinary line", "[TAVO]\r\n[abc\r\nx=1\r\n", L"TAVO", 100,
         Nuls(L"[abc|x=1||"), true},
        {"an unclosed header opens nothing", "[TAVO\r\na=1\r\n", L"TAVO", 100, Nuls(L"|"), true},
        {"no prefix or suffix match of names", "[TAVOX]\r\na=1\r\n[XTAVO]\r\nb=1\r\n", L"TAVO", 100,
         Nuls(L"|"), true},
        {"missing section", "[X]\r\na=1\r\n", L"TAVO", 100, Nuls(L"|"), true},
        {"lines before any header", "a=1\r\n[TAVO]\r\nb=1\r\n", L"", 100, Nuls(L"a=1||"), true},
        {"LF, CR and CRLF end lines", "[TAVO]\na=1\rb=2\r\nc=3", L"TAVO", 100,
         Nuls(L"a=1|b=2|c=3||"), true},
        {"^Z, VT and FF are blanks",
         "[TAVO]\r\n\x1a\x0b"
         "a=1\x0c\x1a\r\n\x1a\r\nz\r\n",
         L"TAVO", 100, Nuls(L"a=1|z||"), true},
        {"no inline or '#' comments, keys repeat", "[TAVO]\r\na=1 ; x\r\n# y\r\na=2\r\nA=3\r\n",
         L"TAVO", 100, Nuls(L"a=1 ; x|# y|a=2|A=3||"), true},
        {"empty names: one kept, one after it dropped",
         "[TAVO]\r\n = \r\nk=1\r\n=x\r\n=y\r\n =z\r\n=\r\nm\r\n;c\r\n=w\r\n", L"TAVO", 100,
         Nuls(L"=|k=1|=x|m|=w||"), true},
        {"the empty-name rule starts again in each section", "[X]\r\n=a\r\n[TAVO]\r\n=b\r\n",
         L"TAVO", 100, Nuls(L"=b||"), true},
        {"a NUL cuts the name and the value each",
         Bytes("[TAVO]\r\nab\0c=1\0d\r\n\0x=2\r\n\0y\r\nz=3\r\n"), L"TAVO", 100,
         Nuls(L"ab=1|=2|z=3||"), true},
        {"UTF-8 with a mark", "\xEF\xBB\xBF[TAVO]\r\n\xE4\xB8\xAD=1\r\n", L"TAVO", 100,
         Nuls(L"\u4e2d=1||"), true},
        {"a second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBF[TAVO]\r\na=1\r\n", L"TAVO", 100,
         Nuls(L"|"), true},
        {"U+00A0 and U+3000 are no blanks",
         "\xEF\xBB\xBF[TAVO]\r\n\xC2\xA0"
         "a=1\xE3\x80\x80\r\n",
         L"TAVO", 100, Nuls(L"\u00a0a=1\u3000||"), true},
        {"UTF-16LE", Utf16(L"[TAVO]\r\n\u4e2d = 1\r\n", true), L"TAVO", 100, Nuls(L"\u4e2d=1||"),
         true},
        {"UTF-16BE", Utf16(L"[TAVO]\r\na=\u4e2d\r\n", false), L"TAVO", 100, Nuls(L"a=\u4e2d||"),
         true},
        // Windows reads an unmarked file in the ANSI code page.
        {"unmarked: UTF-8, else Latin-1", "[TAVO]\r\n\xE4\xB8\xAD=1\r\n\xE4=2\r\n", L"TAVO", 100,
         Nuls(L"\u4e2d=1|\u00e4=2||"), false},
        // The buffer: cut to size - 2 characters and two NULs, count size - 2.
        {"fits with room", kCut, L"TAVO", 16, Nuls(L"abc=1|defgh=2||"), true},
        {"an exact fit counts as cut", kCut, L"TAVO", 15, Nuls(L"abc=1|defgh=2|"), true},
        {"cut after '='", kCut, L"TAVO", 14, Nuls(L"abc=1|defgh=|"), true},
        {"cut after a name", kCut, L"TAVO", 13, Nuls(L"abc=1|defgh|"), true},
        {"cut inside a name", kCut, L"TAVO", 9, Nuls(L"abc=1|d|"), true},
        {"cut after a whole entry", kCut, L"TAVO", 8, Nuls(L"abc=1||"), true},
        {"cut at the terminator", kCut, L"TAVO", 7, Nuls(L"abc=1|"), true},
        {"cut inside a value", kCut, L"TAVO", 6, Nuls(L"abc=|"), true},
        {"room for one character", kCut, L"TAVO", 3, Nuls(L"a|"), true},
        {"room for the NULs only", kCut, L"TAVO", 2, Nuls(L"|"), true},
        // Windows: 0xFFFFFFFF for size 1, and a NUL written even at size 0.
        {"size 1", kCut, L"TAVO", 1, Nuls(L"|"), false},
    };
}

// The model list of a long INF, as the tool's buffer holds it: the first
// kModelListChars - 2 characters of the whole multi-string, then two NULs.
SectionCase LongSection(std::string* full) {
    std::string inf = "[TAVO]\r\n";
    full->clear();
    for (int i = 0; full->size() < size_t(kModelListChars) + 100; ++i) {
        std::string line = "TAVO Model " + std::to_string(i) + "=Install,USB\\VID_1234&PID_" +
                           std::to_string(1000 + i);
        inf += "  " + line + "  \r\n";
        *full += line + '\0';
    }
    std::wstring expected(full->begin(), full->begin() + (kModelListChars - 2));
    expected += L'\0';
    return {"a section longer than the tool's buffer",
            inf,
            L"TAVO",
            size_t(kModelListChars),
            expected,
            true};
}

// The portable read of a case: the buffer and the count, past-the-end
// writes caught by a guard band.
std::wstring PortableRead(const SectionCase& c, size_t* count) {
    std::vector<wchar_t> text(c.bytes.size());
    size_t length = DecodeInfText(reinterpret_cast<const unsigned char*>(c.bytes.data()),
                                  c.bytes.size(), text.data());
    std::vector<wchar_t> buffer(c.size + 8, L'#');
    *count = ReadProfileSection(text.data(), length, c.section, buffer.data(), c.size);
    for (size_t i = c.size; i < buffer.size(); ++i) EXPECT_EQ(L'#', buffer[i]) << "written past";
    if (*count + 1 < c.size) {
        EXPECT_EQ(L'\0', buffer[*count + 1]) << "no second NUL";
    }
    size_t shown = *count + 1 < c.size ? *count + 1 : c.size;
    return std::wstring(buffer.data(), shown);
}

TEST(ProfileSection, ReadAsTheRulesSay) {
    std::string full;
    std::vector<SectionCase> cases = SectionCases();
    cases.push_back(LongSection(&full));
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.label);
        size_t count = 0;
        std::wstring got = PortableRead(c, &count);
        EXPECT_EQ(c.expected.size() - 1, count);
        EXPECT_TRUE(c.expected == got);
    }
}

TEST(ProfileSection, SizeZeroWritesNothing) {
    wchar_t text[] = L"[TAVO]\r\na=1\r\n";
    wchar_t guard = L'#';
    EXPECT_EQ(0u, ReadProfileSection(text, wcslen(text), L"TAVO", &guard, 0));
    EXPECT_EQ(L'#', guard);
}

TEST(ProfileSection, ModelSectionUsesTheBuildsWordAndTheToolsSize) {
    std::string full;
    SectionCase c = LongSection(&full);
    std::vector<wchar_t> text(c.bytes.size());
    size_t length = DecodeInfText(reinterpret_cast<const unsigned char*>(c.bytes.data()),
                                  c.bytes.size(), text.data());
    std::vector<wchar_t> list(kModelListChars, L'#');
    wchar_t section[5];
    BuildInfSectionWord(section);
    // The fixture names the default word; another build's word reads nothing.
    size_t expected = wcscmp(section, L"TAVO") == 0 ? size_t(kModelListChars) - 2 : 0;
    EXPECT_EQ(expected, ReadModelSection(text.data(), length, list.data()));
}

#ifdef _WIN32
// Each case written to a file and read by GetPrivateProfileSectionW, the
// oracle, beside the portable read.
std::wstring WindowsRead(const SectionCase& c, const std::wstring& path, size_t* count) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return L"(not written)";
    fwrite(c.bytes.data(), 1, c.bytes.size(), file);
    fclose(file);
    std::vector<wchar_t> buffer(c.size + 8, L'#');
    *count = GetPrivateProfileSectionW(c.section, buffer.data(), DWORD(c.size), path.c_str());
    DeleteFileW(path.c_str());
    size_t shown = *count + 1 < c.size ? *count + 1 : c.size;
    return std::wstring(buffer.data(), shown);
}

TEST(ProfileSection, ReadsAsGetPrivateProfileSectionW) {
    wchar_t directory[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, directory);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring path = std::wstring(directory) + L"tavo-section-" +
                        std::to_wstring(GetCurrentProcessId()) + L".inf";
    std::string full;
    std::vector<SectionCase> cases = SectionCases();
    cases.push_back(LongSection(&full));
    for (const SectionCase& c : cases) {
        if (!c.windowsAlike) continue;
        SCOPED_TRACE(c.label);
        size_t windowsCount = 0, portableCount = 0;
        std::wstring windows = WindowsRead(c, path, &windowsCount);
        std::wstring portable = PortableRead(c, &portableCount);
        EXPECT_EQ(windowsCount, portableCount);
        EXPECT_TRUE(windows == portable);
    }
}
#endif

}  // namespace
