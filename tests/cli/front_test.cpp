// tavoctl's front end: names, parsing, the commands' output and exit codes,
// with a fake spooler for list and apply. Runs natively (wchar_t UTF-32) and
// under Wine (UTF-16).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/command_line.h"
#include "cli/tavoctl.h"
#include "cli/text.h"
#include "printer/settings_command.h"

namespace {

// ---- A minimal JSON checker: true when `text` is one well-formed value.
struct JsonChecker {
    const char* p;
    void Space() {
        while (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
    }
    bool String() {
        if (*p++ != '"') return false;
        while (*p != '"') {
            unsigned char c = static_cast<unsigned char>(*p);
            if (c == 0 || c < 0x20) return false;
            if (c == '\\') {
                ++p;
                if (*p == 'u') {
                    for (int i = 1; i <= 4; ++i) {
                        if (!isxdigit(static_cast<unsigned char>(p[i]))) return false;
                    }
                    p += 4;
                } else if (!strchr("\"\\/bfnrt", *p) || *p == 0) {
                    return false;
                }
            }
            ++p;
        }
        ++p;
        return true;
    }
    bool Value() {
        Space();
        if (*p == '{' || *p == '[') {
            char close = *p == '{' ? '}' : ']';
            bool object = *p == '{';
            ++p;
            Space();
            if (*p == close) return ++p, true;
            for (;;) {
                if (object) {
                    Space();
                    if (!String()) return false;
                    Space();
                    if (*p++ != ':') return false;
                }
                if (!Value()) return false;
                Space();
                if (*p == ',') {
                    ++p;
                    continue;
                }
                if (*p++ != close) return false;
                return true;
            }
        }
        if (*p == '"') return String();
        for (const char* word : {"true", "false", "null"}) {
            if (strncmp(p, word, strlen(word)) == 0) return p += strlen(word), true;
        }
        const char* start = p;
        if (*p == '-') ++p;
        while (*p >= '0' && *p <= '9') ++p;
        return p > start && p[-1] != '-';
    }
};
bool IsJson(const std::string& text) {
    JsonChecker checker{text.c_str()};
    if (!checker.Value()) return false;
    checker.Space();
    return *checker.p == '\0';
}

// ---- A fake spooler: queues given by the test, jobs recorded.
struct FakeQueue {
    std::string name;
    int state;
    int supported;
    int outcome;          // what each job to it ends as
    int workOffline = 0;  // the offline rule's flag, apart from the state shown
};
struct FakeSpooler : Spooler {
    std::vector<FakeQueue> queues;
    int listStatus = kSpoolOk;
    std::vector<std::pair<std::string, std::string>> jobs;  // queue, bytes
    int ListQueues(QueueList* list, char error[512]) override {
        if (listStatus != kSpoolOk) {
            snprintf(error, 512, "connection refused");
            return listStatus;
        }
        for (const FakeQueue& queue : queues) {
            QueueInfo* info = list->Add();
            snprintf(info->name, sizeof info->name, "%s", queue.name.c_str());
            snprintf(info->model, sizeof info->model, "TAVO DP-550");
            info->state = queue.state;
            info->supported = queue.supported;
            info->workOffline = queue.workOffline;
        }
        return kSpoolOk;
    }
    void SendJob(const char* queue, const unsigned char* bytes, size_t size, unsigned,
                 JobResult* result) override {
        memset(result, 0, sizeof *result);
        jobs.emplace_back(queue, std::string(reinterpret_cast<const char*>(bytes), size));
        result->jobId = int(jobs.size());
        result->outcome = kJobNoPrinter;
        for (const FakeQueue& q : queues) {
            if (q.name == queue) result->outcome = q.outcome;
        }
    }
    int NamedQueueIsOurs() const override { return 0; }
    const char* Name() const override { return "fake spooler"; }
};
FakeSpooler* TheFake;
Spooler* FakeFactory(const SpoolerOptions&, char[512]) { return TheFake; }

struct Result {
    int code;
    std::string out, err;
};
Result Tavoctl(std::vector<const char*> args) {
    Text out, err;
    Output outSink = {nullptr, &out};
    Output errSink = {nullptr, &err};
    int code = RunTavoctl(int(args.size()), args.data(), &outSink, &errSink, FakeFactory);
    return {code, out.c_str(), err.c_str()};
}

std::string TempPath(const char* name) {
    const char* dir = getenv("TMPDIR");
#ifdef _WIN32
    if (dir == nullptr) dir = getenv("TEMP");
#endif
    return std::string(dir != nullptr ? dir : "/tmp") + "/tavoctl_test_" + name;
}
void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}
std::string ReadFile(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    fclose(file);
    return bytes;
}
std::string Utf8(const wchar_t* text) {
    Text out;
    AppendUtf8(&out, text);
    return out.c_str();
}
// A settings block with the given values (code, value).
std::string SettingsFile(std::vector<std::pair<int, int32_t>> values, size_t size = 256) {
    std::string bytes(size, '\0');
    for (auto& entry : values) {
        for (int i = 0; i < 4; ++i) {
            size_t at = size_t(entry.first) * 4 + i;
            if (at < size) bytes[at] = char(uint32_t(entry.second) >> (8 * i));
        }
    }
    return bytes;
}

// ---- Text -----------------------------------------------------------------

TEST(Text, Utf8RoundTripsChineseAndSupplementaryCharacters) {
    const char* samples[] = {"拖纸器页长", "11 英寸", "ESC/PK2", "打印机 \xF0\x9F\x96\xA8 A", ""};
    for (const char* sample : samples) {
        wchar_t* wide = WideFromUtf8(sample);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(Utf8(wide), sample);
        free(wide);
    }
    wchar_t* wide = WideFromUtf8("\xF0\x9F\x96\xA8");  // U+1F5A8 PRINTER
    if (sizeof(wchar_t) == 2) {
        EXPECT_EQ(unsigned(wide[0]), 0xD83Du);
        EXPECT_EQ(unsigned(wide[1]), 0xDDA8u);
        EXPECT_EQ(wide[2], L'\0');
    } else {
        EXPECT_EQ(unsigned(wide[0]), 0x1F5A8u);
    }
    free(wide);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        const char* utf8;
        const char* expected;
    } cases[] = {
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},                                                     // not a lead byte
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate, 3 bytes
        {"\xE6\x8B", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short at the end
    };
    for (const Case& c : cases) {
        wchar_t* wide = WideFromUtf8(c.utf8);
        // The replacement is per rejected byte for a surrogate or overlong
        // form; what matters is that no invalid text comes through.
        std::string back = Utf8(wide);
        EXPECT_EQ(back.find("\xEF\xBF\xBD") != std::string::npos, true) << c.utf8;
        EXPECT_EQ(back.find('/'), std::string::npos);
        free(wide);
    }
    if (sizeof(wchar_t) == 2) {
        const wchar_t lone[] = {wchar_t(0xD800), L'x', wchar_t(0xDC00), 0};
        EXPECT_EQ(Utf8(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    }
}

TEST(Text, JsonStringsEscapeQuotesControlsAndBadBytes) {
    Text out;
    AppendJsonString(&out, "a\"b\\c\n\x01 打印\xFF");
    EXPECT_STREQ(out.c_str(), "\"a\\\"b\\\\c\\u000a\\u0001 打印\xEF\xBF\xBD\"");
    EXPECT_TRUE(IsJson(out.c_str()));
}

// ---- Names ------------------------------------------------------------------

TEST(Names, EveryRowAndOptionIsFoundByLabelAndNumber) {
    for (int row = 1; row < kSettingRows; ++row) {
        EXPECT_EQ(FindSettingRow(Utf8(SettingRowNames[row]).c_str()), row);
        EXPECT_EQ(FindSettingRow(std::to_string(row).c_str()), row);
        EXPECT_EQ(FindSettingRow(SettingEnglishName(row)), row);
        for (int option = 0; option < SettingTable[row].optionCount; ++option) {
            std::string label = Utf8(OptionLabels[SettingTable[row].firstLabel + option]);
            EXPECT_EQ(FindOption(row, label.c_str()), option) << label;
            EXPECT_EQ(FindOption(row, std::to_string(option).c_str()), option);
        }
        EXPECT_EQ(FindOption(row, std::to_string(SettingTable[row].optionCount).c_str()), -1);
    }
}

TEST(Names, LenientFormsAndRefusals) {
    struct Case {
        const char* setting;
        const char* option;
        int row, index;
    } cases[] = {
        {"拖纸器页长", "11英寸", 1, 13},
        {"PAGE-LENGTH", "11 in", 1, 13},
        {"1", "2in", 1, 1},
        {"1", "2", 1, 2},
        {"auto-cut", "on", 2, 1},
        {"自动换行", "off", 3, 0},
        {"direction", "unidirectional", 4, 1},
        {"软件", "esc/pk2", 5, 0},
        {"feed-wait", "0.5s", 6, 0},
        {"6", "1.5 秒", 6, 2},
        {"0", "0", -1, -1},
        {"7", "0", -1, -1},
        {"", "0", -1, -1},
        {"页长", "0", -1, -1},
        {"1", "-1", 1, -1},
        {"1", "", 1, -1},
        {"4", "yes", 4, -1},
        {"2", "1 ", 2, -1},
    };
    for (const Case& c : cases) {
        int row = FindSettingRow(c.setting);
        EXPECT_EQ(row, c.row) << c.setting;
        if (row > 0) {
            EXPECT_EQ(FindOption(row, c.option), c.index) << c.setting << "=" << c.option;
        }
    }
}

// ---- encode and decode ------------------------------------------------------

TEST(EncodeDecode, EveryRowAndOptionRoundTrips) {
    std::string path = TempPath("roundtrip.bin");
    for (int row = 1; row < kSettingRows; ++row) {
        for (int option = 0; option < SettingTable[row].optionCount; ++option) {
            std::string setting = Utf8(SettingRowNames[row]);
            std::string label = Utf8(OptionLabels[SettingTable[row].firstLabel + option]);
            Result encoded =
                Tavoctl({"encode", "-o", path.c_str(), setting.c_str(), label.c_str()});
            ASSERT_EQ(encoded.code, kExitOk) << encoded.err;
            unsigned char expected[kSettingCommandBytes];
            BuildSettingCommand(row, option, expected);
            std::string bytes = ReadFile(path);
            ASSERT_EQ(bytes, std::string(reinterpret_cast<char*>(expected), sizeof expected));
            char hex[40];
            snprintf(hex, sizeof hex, "%02X %02X %02X %02X %02X %02X", expected[0], expected[1],
                     expected[2], expected[3], expected[4], expected[5]);
            EXPECT_NE(encoded.out.find(hex), std::string::npos) << encoded.out;

            Result decoded = Tavoctl({"decode", path.c_str()});
            EXPECT_EQ(decoded.code, kExitOk) << decoded.out;
            std::string line = setting + " = " + label + " (setting " + std::to_string(row) +
                               ", option " + std::to_string(option) + ")";
            EXPECT_EQ(decoded.out, "offset 0: " + line + "\n1 command\n");
        }
    }
    remove(path.c_str());
}

TEST(EncodeDecode, KnownCommandBytes) {
    Result result = Tavoctl({"encode", "打印方向", "单向"});
    EXPECT_EQ(result.code, kExitOk);
    std::string tag;
    for (int i = 0; i < 4; ++i) {
        char hex[4];
        snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(CommandTag[i]));
        tag += hex;
    }
    EXPECT_NE(result.out.find("1B 05 0A 01 00 A9 1B 05" + tag), std::string::npos) << result.out;
    result = Tavoctl({"encode", "--json", "1=17 英寸", "auto-cut=开"});
    EXPECT_TRUE(IsJson(result.out)) << result.out;
    EXPECT_NE(result.out.find("\"hex\":\"1B05051100B61B05"), std::string::npos);
    EXPECT_NE(result.out.find("\"label\":\"开\""), std::string::npos);
}

TEST(EncodeDecode, StrayBytesBadChecksAndUnknownCodesAreReported) {
    unsigned char good[kSettingCommandBytes], bad[kSettingCommandBytes],
        unknown[kSettingCommandBytes];
    BuildSettingCommand(3, 1, good);
    BuildSettingCommand(1, 17, bad);
    bad[5] ^= 0x01;
    BuildSettingCommand(2, 0, unknown);
    unknown[2] = 99;
    std::string stream = "AB" + std::string(reinterpret_cast<char*>(good), 12) + "\x1B" +
                         std::string(reinterpret_cast<char*>(bad), 12) +
                         std::string(reinterpret_cast<char*>(unknown), 12);
    std::string path = TempPath("stray.bin");
    WriteFile(path, stream);
    Result text = Tavoctl({"decode", path.c_str()});
    EXPECT_EQ(text.code, kExitBadInput);
    EXPECT_NE(text.out.find("offset 0: 2 stray bytes: 41 42"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("offset 2: 自动换行 = 开"), std::string::npos);
    EXPECT_NE(text.out.find("offset 14: 1 stray byte: 1B"), std::string::npos);
    EXPECT_NE(text.out.find("check byte B7 is wrong, expected B6"), std::string::npos);
    EXPECT_NE(text.out.find("unknown setting code 99"), std::string::npos);
    EXPECT_NE(text.out.find("3 commands, 2 bad, 3 stray bytes"), std::string::npos);
    Result json = Tavoctl({"decode", "--json", path.c_str()});
    EXPECT_EQ(json.code, kExitBadInput);
    EXPECT_TRUE(IsJson(json.out)) << json.out;
    EXPECT_NE(json.out.find("\"check_ok\":false"), std::string::npos);
    EXPECT_NE(json.out.find("\"ok\":false"), std::string::npos);

    WriteFile(path, "");
    Result empty = Tavoctl({"decode", path.c_str()});
    EXPECT_EQ(empty.code, kExitBadInput);
    EXPECT_NE(empty.out.find("0 commands (the input is empty)"), std::string::npos);
    remove(path.c_str());
}

TEST(EncodeDecode, ABadCheckByteIsReportedWithTheOneItShouldBe) {
    // Bytes 2 to 4 and the check byte by hand: code 99 (no such setting) and
    // option 0 want 00 ^ 63 ^ 00 ^ A2 = C1; page-length option -1 (FF FF)
    // wants FF ^ 05 ^ FF ^ A2 = A7.
    struct Case {
        std::string bytes;
        const char* expected;
    } cases[] = {
        {std::string("\x1B\x05\x63\x00\x00\xA5\x1B\x05", 8),
         "unknown setting code 99, option 0; check byte A5 is wrong, expected C1"},
        {std::string("\x1B\x05\x05\xFF\xFF\x00\x1B\x05", 8),
         "option -1 is out of range 0..17; check byte 00 is wrong, expected A7"},
    };
    std::string path = TempPath("check.bin");
    for (const Case& c : cases) {
        WriteFile(path, c.bytes + CommandTag);
        Result result = Tavoctl({"decode", path.c_str()});
        EXPECT_EQ(result.code, kExitBadInput);
        EXPECT_NE(result.out.find(c.expected), std::string::npos) << result.out;
    }
    remove(path.c_str());
}

// ---- show ---------------------------------------------------------------------

TEST(Show, ShortLongAndOutOfRangeFiles) {
    std::string path = TempPath("settings.dep");
    struct Case {
        std::string bytes;
        std::vector<const char*> lines;
        int outOfRange;
    } cases[] = {
        // 40 bytes: codes 0 to 9 from the file, 10 and up read as 0.
        {SettingsFile({{5, 17}, {7, 0}, {9, 1}, {10, 1}, {11, 1}, {36, 3}}, 40),
         {"17 英寸  (stored 17)", "自动切纸 = 关", "自动换行 = 开", "打印方向 = 双向  (stored 0)",
          "软件 = ESC/PK2  (stored 0)", "手动送纸等待时间 = 0.5秒  (stored 0)",
          "(shorter than 256: values from byte 40 on read as 0)"},
         0},
        // 300 bytes: the tail is ignored.
        {SettingsFile({{5, 13}, {36, 3}}, 300) + "",
         {"11 英寸  (stored 13)", "2秒  (stored 3)", "(bytes from 256 on are ignored)"},
         0},
        // Out of range: 18, -1, 2 show the defaults.
        {SettingsFile({{5, 18}, {7, -1}, {11, 2}}),
         {"拖纸器页长 = 11 英寸  (stored 18 is out of range 0..17",
          "自动切纸 = 开  (stored -1 is out of range 0..1", "软件 = ESC/PK2  (stored 2 is out",
          "3 stored values out of range"},
         3},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.bytes);
        Result text = Tavoctl({"show", path.c_str()});
        EXPECT_EQ(text.code, kExitOk);
        for (const char* line : c.lines)
            EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
        Result json = Tavoctl({"show", path.c_str(), "--json"});
        EXPECT_TRUE(IsJson(json.out)) << json.out;
        EXPECT_NE(json.out.find("\"out_of_range\":" + std::to_string(c.outOfRange) + "}"),
                  std::string::npos);
    }
    remove(path.c_str());
    EXPECT_EQ(Tavoctl({"show", path.c_str()}).code, kExitBadInput);
}

// ---- Command line and exit codes ------------------------------------------------

TEST(CommandLine, UsageErrorsGoToStandardErrorWithCode2) {
    std::vector<std::vector<const char*>> lines = {
        {},
        {"frobnicate"},
        {"encode"},
        {"encode", "拖纸器页长"},
        {"encode", "页长", "0"},
        {"encode", "1", "99"},
        {"encode", "1=2", "bogus"},
        {"decode"},
        {"decode", "a", "b"},
        {"show", "--dry-run", "x"},
        {"list", "--bogus"},
        {"list", "--inf"},
        {"apply", "auto-cut=on"},
        {"apply", "auto-cut=on", "--all", "-p", "x"},
        {"apply", "--all", "--timeout", "soon", "auto-cut=on"},
        {"apply", "--all"},
        {"apply", "--all", "a.dep", "b.dep"},
        {"--json=yes", "list"},
    };
    for (auto& line : lines) {
        Result result = Tavoctl(line);
        std::string joined;
        for (const char* arg : line) joined += std::string(arg) + " ";
        EXPECT_EQ(result.code, kExitUsage) << joined;
        EXPECT_EQ(result.out, "") << joined;
        EXPECT_NE(result.err, "") << joined;
    }
}

TEST(CommandLine, HelpOnEveryCommandNamesTheExitCodes) {
    for (const char* command : {"list", "show", "encode", "decode", "apply", "settings"}) {
        Result result = Tavoctl({command, "--help"});
        EXPECT_EQ(result.code, kExitOk);
        EXPECT_EQ(result.out.find(std::string("Usage: tavoctl ") + command), 0u) << result.out;
        EXPECT_NE(result.out.find("Exit codes:"), std::string::npos);
    }
    Result top = Tavoctl({"-h"});
    EXPECT_EQ(top.code, kExitOk);
    EXPECT_NE(top.out.find("apply"), std::string::npos);
    Result settings = Tavoctl({"settings", "--json"});
    EXPECT_TRUE(IsJson(settings.out));
}

// ---- Help and the documentation name every option ------------------------------

// Whether `text` names `option` ("--all", "-p") as a whole word, not as the
// start of a longer one ("--all-queues") or inside a word ("out-of-range").
bool NamesOption(const std::string& text, const std::string& option) {
    auto partOfWord = [](char c) { return isalnum(static_cast<unsigned char>(c)) || c == '-'; };
    for (size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
        size_t end = at + option.size();
        bool starts = at == 0 || !partOfWord(text[at - 1]);
        bool ends = end == text.size() || !partOfWord(text[end]);
        if (starts && ends) return true;
    }
    return false;
}

// "--printer" and "-p" for -p, --printer.
std::vector<std::string> Spellings(const OptionEntry& option) {
    std::vector<std::string> spellings = {std::string("--") + option.longName};
    if (option.shortName != 0) spellings.push_back(std::string("-") + option.shortName);
    return spellings;
}

TEST(Help, EachCommandsHelpNamesTheOptionsItTakesAndNoOthers) {
    ASSERT_GT(kCommandCount, 0u);
    for (size_t c = 0; c < kCommandCount; ++c) {
        const CommandEntry& entry = kCommandTable[c];
        Result help = Tavoctl({entry.name, "--help"});
        ASSERT_EQ(help.code, kExitOk) << entry.name;
        unsigned takes = entry.usage->options | kOptEveryCommand;
        for (size_t o = 0; o < kOptionCount; ++o) {
            for (const std::string& spelling : Spellings(kOptionTable[o])) {
                bool named = NamesOption(help.out, spelling);
                if (takes & kOptionTable[o].bit) {
                    EXPECT_TRUE(named) << entry.name << " --help does not name " << spelling;
                } else {
                    EXPECT_FALSE(named)
                        << entry.name << " --help names " << spelling << ", which it does not take";
                }
            }
        }
    }
}

TEST(Help, TheMainHelpListsEveryCommand) {
    Result top = Tavoctl({"--help"});
    for (size_t c = 0; c < kCommandCount; ++c) {
        std::string line = std::string("\n  ") + kCommandTable[c].synopsis;
        EXPECT_NE(top.out.find(line), std::string::npos) << kCommandTable[c].name << top.out;
    }
}

// docs/cli.md describes options that several commands share once, so it is
// checked as a whole: every option and every command is named in it.
TEST(Help, TheDocumentationNamesEveryOptionAndCommand) {
    std::string doc = ReadFile(TAVO_CLI_DOC);
    ASSERT_FALSE(doc.empty()) << "cannot read " << TAVO_CLI_DOC;
    for (size_t o = 0; o < kOptionCount; ++o) {
        for (const std::string& spelling : Spellings(kOptionTable[o])) {
            EXPECT_TRUE(NamesOption(doc, spelling)) << "docs/cli.md does not name " << spelling;
        }
    }
    for (size_t c = 0; c < kCommandCount; ++c) {
        EXPECT_NE(doc.find(std::string("`tavoctl ") + kCommandTable[c].name), std::string::npos)
            << kCommandTable[c].name;
    }
}

// ---- list and apply with a fake spooler ---------------------------------------

class SpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake.queues = {
            {"Desk 1", kQueueOnline, 1, kJobDelivered},
            {"Desk 2", kQueuePaused, 1, kJobQueued},
            {"Desk 3", kQueueOffline, 1, kJobDelivered, 1},
            {"Laser", kQueueOnline, 0, kJobDelivered},
        };
        TheFake = &fake;
    }
    void TearDown() override { TheFake = nullptr; }
    FakeSpooler fake;
};

TEST_F(SpoolerTest, ListShowsSupportedPrintersWithTheirStates) {
    Result text = Tavoctl({"list", "--inf", "-"});  // "-" cannot be read as an INF
    EXPECT_EQ(text.code, kExitBadInput);
    Result result = Tavoctl({"list"});
    EXPECT_EQ(result.code, kExitOk);
    EXPECT_NE(result.out.find("online   Desk 1"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("paused   Desk 2"), std::string::npos);
    EXPECT_NE(result.out.find("offline  Desk 3"), std::string::npos);
    EXPECT_EQ(result.out.find("Laser"), std::string::npos);
    Result json = Tavoctl({"list", "--json", "--all-queues"});
    EXPECT_TRUE(IsJson(json.out)) << json.out;
    EXPECT_NE(json.out.find("{\"name\":\"Laser\",\"model\":\"TAVO DP-550\",\"state\":\"online\","
                            "\"supported\":false}"),
              std::string::npos);
    fake.queues.resize(0);
    EXPECT_EQ(Tavoctl({"list"}).code, kExitNoPrinter);
    fake.listStatus = kSpoolUnreachable;
    Result gone = Tavoctl({"list"});
    EXPECT_EQ(gone.code, kExitUnreachable);
    EXPECT_NE(gone.err.find("cannot reach the fake spooler: connection refused"),
              std::string::npos);
}

TEST_F(SpoolerTest, ApplySendsOneJobPerCommandAndReportsEachPrinter) {
    Result result = Tavoctl({"apply", "-p", "Desk 1", "auto-wrap=开", "打印方向=2"});
    EXPECT_EQ(result.code, kExitOk) << result.out << result.err;
    ASSERT_EQ(fake.jobs.size(), 2u);
    unsigned char first[kSettingCommandBytes], second[kSettingCommandBytes];
    BuildSettingCommand(3, 1, first);
    BuildSettingCommand(4, 2, second);
    EXPECT_EQ(fake.jobs[0].first, "Desk 1");
    EXPECT_EQ(fake.jobs[0].second, std::string(reinterpret_cast<char*>(first), 12));
    EXPECT_EQ(fake.jobs[1].second, std::string(reinterpret_cast<char*>(second), 12));
    EXPECT_NE(result.out.find("Desk 1: 打印方向 = 自动 (setting 4, option 2): delivered (job 2)"),
              std::string::npos)
        << result.out;
}

TEST_F(SpoolerTest, ApplyToAllStopsAtAQueuedJobAndSkipsOfflinePrinters) {
    Result result = Tavoctl({"apply", "--all", "--json", "auto-wrap=on", "auto-cut=off"});
    EXPECT_EQ(result.code, kExitNotDelivered);
    EXPECT_TRUE(IsJson(result.out)) << result.out;
    // Desk 1 gets both, Desk 2 the first (which stays queued), Desk 3 none.
    ASSERT_EQ(fake.jobs.size(), 3u);
    EXPECT_EQ(fake.jobs[2].first, "Desk 2");
    EXPECT_NE(result.out.find("\"outcome\":\"queued\""), std::string::npos);
    EXPECT_NE(result.out.find("\"problem\":\"offline: nothing sent\""), std::string::npos);
    EXPECT_NE(result.out.find("\"printers_ok\":1,\"printers_failed\":2,\"exit_code\":1"),
              std::string::npos);
}

TEST_F(SpoolerTest, OnlyTheOfflineRuleExcludesAPrinter) {
    // Shown offline by the spooler's status but not set to work offline:
    // the tool sends to it, so apply does too.
    fake.queues.push_back({"Desk 4", kQueueOffline, 1, kJobDelivered, 0});
    Result list = Tavoctl({"list"});
    EXPECT_NE(list.out.find("offline  Desk 4"), std::string::npos) << list.out;
    struct Case {
        const char* printer;
        int code;
        size_t jobs;
    } cases[] = {{"Desk 4", kExitOk, 2}, {"Desk 3", kExitNotDelivered, 0}};
    for (const Case& c : cases) {
        fake.jobs.clear();
        Result result = Tavoctl({"apply", "-p", c.printer, "auto-wrap=on", "auto-cut=off"});
        EXPECT_EQ(result.code, c.code) << c.printer << "\n" << result.out;
        EXPECT_EQ(fake.jobs.size(), c.jobs) << c.printer;
    }
    fake.jobs.clear();
    Tavoctl({"apply", "--all", "auto-wrap=on"});
    std::vector<std::string> sentTo;
    for (const auto& job : fake.jobs) sentTo.push_back(job.first);
    EXPECT_EQ(sentTo, (std::vector<std::string>{"Desk 1", "Desk 2", "Desk 4"}));
}

TEST_F(SpoolerTest, ApplyExitCodesForMissingForeignAndUnreachablePrinters) {
    struct Case {
        std::vector<const char*> args;
        int code;
        size_t jobs;
    } cases[] = {
        {{"apply", "-p", "Nowhere", "1=0"}, kExitNoPrinter, 0},
        {{"apply", "-p", "Laser", "1=0"}, kExitNoPrinter, 0},  // driver not in the model list
        {{"apply", "-p", "Desk 3", "1=0"}, kExitNotDelivered, 0},
        {{"apply", "-p", "Desk 1", "-p", "Nowhere", "1=0"}, kExitNoPrinter, 1},
        {{"apply", "-p", "Desk 1", "--dry-run", "1=0", "2=0"}, kExitOk, 0},
    };
    for (const Case& c : cases) {
        fake.jobs.clear();
        Result result = Tavoctl(c.args);
        EXPECT_EQ(result.code, c.code) << c.args[2] << "\n" << result.out;
        EXPECT_EQ(fake.jobs.size(), c.jobs) << c.args[2];
    }
    fake.queues.resize(0);
    EXPECT_EQ(Tavoctl({"apply", "--all", "1=0"}).code, kExitNoPrinter);
    fake.listStatus = kSpoolUnreachable;
    EXPECT_EQ(Tavoctl({"apply", "--all", "1=0"}).code, kExitUnreachable);
}

TEST_F(SpoolerTest, ApplyASettingsFileSendsTheSixListsAsTheToolShowsThem) {
    std::string path = TempPath("apply.dep");
    WriteFile(path, SettingsFile({{5, 18}, {7, 0}, {9, 1}, {10, 1}, {11, 1}, {36, 2}}));
    Result result = Tavoctl({"apply", "-p", "Desk 1", path.c_str(), "feed-wait=2秒"});
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_NE(result.err.find("stored value 18 is out of range; sending the default 11 英寸"),
              std::string::npos);
    int expected[][2] = {{1, 13}, {2, 0}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {6, 3}};
    ASSERT_EQ(fake.jobs.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        unsigned char command[kSettingCommandBytes];
        BuildSettingCommand(expected[i][0], expected[i][1], command);
        EXPECT_EQ(fake.jobs[i].second, std::string(reinterpret_cast<char*>(command), 12)) << i;
    }
    remove(path.c_str());
}

}  // namespace
