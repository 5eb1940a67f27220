// The setting table, the option labels, the preset rule and the 12-byte
// setting command.
#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "build_config.h"
#include "printer/settings_command.h"

namespace {

// Typed from the printer's documented vocabulary, independently of the
// table in the code.
const wchar_t* const kExpectedLabels[90] = {
    L"双向",     L"单向",         L"自动",      L"关",       L"开",        L"0.5秒",
    L"1秒",      L"1.5秒",        L"2秒",       L"ESC/PK2",  L"OKI",       L"Panasonic",
    L"自定义",   L"2 英寸",       L"2.5 英寸",  L"3 英寸",   L"11/4 英寸", L"11/3 英寸",
    L"4 英寸",   L"5 英寸",       L"5.5 英寸",  L"6 英寸",   L"7 英寸",    L"8 英寸",
    L"8.5 英寸", L"11 英寸",      L"70/6 英寸", L"12 英寸",  L"14 英寸",   L"17 英寸",
    L"自动",     L"并行",         L"USB",       L"10秒",     L"30秒",      L"关",
    L"自动",     L"宋体",         L"黑体",      L"10cpi",    L"12cpi",     L"15cpi",
    L"17cpi",    L"6.7cpi",       L"5cpi",      L"7cpi",     L"7.5cpi",    L"PC437",
    L"PC850",    L"自定义",       L"-1/3英寸",  L"-1/6英寸", L"0英寸",     L"1/6英寸",
    L"1/4英寸",  L"1/3英寸",      L"1/2英寸",   L"1英寸",    L"1.2英寸",   L"1.5英寸",
    L"1.7英寸",  L"2英寸",        L"否",        L"是",       L"中文",      L"西文",
    L"标准",     L"IBM",          L"人民币",    L"美元",     L"日元",      L"非斜线",
    L"斜线",     L"24x24",        L"24x16",     L"24x12",    L"工厂参数",  L"系统参数",
    L"竖线校正", L"恢复出厂设置", L"EVEN",      L"ODD",      L"SPACE",     L"MARK",
    L"NO",       L"9600",         L"19200",     L"38400",    L"57600",     L"115200",
};

TEST(OptionLabels, AllNinetyVerbatim) {
    for (int i = 0; i < kOptionLabelCount; ++i) {
        ASSERT_NE(nullptr, OptionLabels[i]) << "label " << i;
        EXPECT_STREQ(kExpectedLabels[i], OptionLabels[i]) << "label " << i;
    }
    // A few by their code points, in case the source encoding were misread.
    EXPECT_EQ(std::wstring(L"\x81ea\x52a8"), OptionLabels[2]);      // 自动
    EXPECT_EQ(std::wstring(L"11 \x82f1\x5bf8"), OptionLabels[25]);  // 11 英寸
    EXPECT_EQ(std::wstring(L"\x6062\x590d\x51fa\x5382\x8bbe\x7f6e"), OptionLabels[79]);
}

TEST(OptionLabels, RepeatedLabels) {
    const int pairs[][2] = {{30, 2}, {35, 3}, {36, 2}, {49, 12}};
    for (const auto& pair : pairs)
        EXPECT_STREQ(OptionLabels[pair[1]], OptionLabels[pair[0]]) << "label " << pair[0];
}

struct RowCase {
    int code, defaultIndex, optionCount, firstLabel;
    const wchar_t* name;
    const wchar_t* defaultLabel;
};

TEST(SettingTable, SevenRowsAsDocumented) {
    const RowCase rows[kSettingRows] = {
        {43, 0, 2, 62, L"", L"否"},
        {5, 13, 18, 12, L"拖纸器页长", L"11 英寸"},
        {7, 1, 2, 3, L"自动切纸", L"开"},
        {9, 0, 2, 3, L"自动换行", L"关"},
        {10, 2, 3, 0, L"打印方向", L"自动"},
        {11, 0, 2, 9, L"软件", L"ESC/PK2"},
        {36, 1, 4, 5, L"手动送纸等待时间", L"1秒"},
    };
    for (int k = 0; k < kSettingRows; ++k) {
        SCOPED_TRACE(testing::Message() << "row " << k);
        EXPECT_EQ(rows[k].code, SettingTable[k].code);
        EXPECT_EQ(rows[k].defaultIndex, SettingTable[k].defaultIndex);
        EXPECT_EQ(rows[k].optionCount, SettingTable[k].optionCount);
        EXPECT_EQ(rows[k].firstLabel, SettingTable[k].firstLabel);
        EXPECT_STREQ(rows[k].name, SettingRowNames[k]);
        EXPECT_STREQ(rows[k].defaultLabel,
                     OptionLabels[SettingTable[k].firstLabel + SettingTable[k].defaultIndex]);
        EXPECT_LE(SettingTable[k].firstLabel + SettingTable[k].optionCount, kOptionLabelCount);
        EXPECT_EQ(k, SettingRowForCode(rows[k].code));
    }
    EXPECT_EQ(-1, SettingRowForCode(0));
    EXPECT_EQ(-1, SettingRowForCode(6));
}

TEST(SettingTable, FirstListShowsThePageLengths) {
    const wchar_t* const lengths[18] = {
        L"自定义",   L"2 英寸",  L"2.5 英寸",  L"3 英寸",  L"11/4 英寸", L"11/3 英寸",
        L"4 英寸",   L"5 英寸",  L"5.5 英寸",  L"6 英寸",  L"7 英寸",    L"8 英寸",
        L"8.5 英寸", L"11 英寸", L"70/6 英寸", L"12 英寸", L"14 英寸",   L"17 英寸"};
    for (int i = 0; i < 18; ++i)
        EXPECT_STREQ(lengths[i], OptionLabels[SettingTable[1].firstLabel + i]);
}

// ---- preset rule --------------------------------------------------------------

struct PresetCase {
    int row;
    int32_t stored;
    int expected;
};

TEST(PresetOptionIndex, StoredValueOrDefault) {
    const PresetCase cases[] = {
        {1, 13, 13},  // "11 英寸"
        {1, 17, 17},  // "17 英寸", the last option
        {1, 18, 13},  // one past the last: the default
        {1, -1, 13},
        {1, INT32_MIN, 13},
        {1, INT32_MAX, 13},
        {1, 65536, 13},  // not taken modulo 16
                         // bits
        {1, 0, 0},
        {2, 0, 0},
        {2, 2, 1},
        {3, 1, 1},
        {4, 3, 2},
        {4, -2, 2},
        {5, 1, 1},
        {6, 3, 3},
        {6, 4, 1},
        {0, 1, 1},
        {0, 2, 0},
    };
    for (const PresetCase& c : cases) {
        SettingsBlock block = {};
        // Neighbouring values must not leak in.
        for (int i = 0; i < kSettingsValues; ++i) block.values[i] = 1;
        block.values[SettingTable[c.row].code] = c.stored;
        EXPECT_EQ(c.expected, PresetOptionIndex(c.row, block))
            << "row " << c.row << " stored " << c.stored;
    }
}

TEST(PresetOptionIndex, PageLengthListShowsTheStoredLength) {
    struct {
        int32_t stored;
        const wchar_t* shown;
    } cases[] = {{13, L"11 英寸"}, {18, L"11 英寸"}, {-1, L"11 英寸"}, {17, L"17 英寸"}};
    for (auto& c : cases) {
        std::vector<unsigned char> file(40, 0);  // a short file: values 0 to 9
        for (int b = 0; b < 4; ++b) file[4 * 5 + b] = static_cast<unsigned char>(c.stored >> 8 * b);
        SettingsBlock block;
        DecodeSettingsBlock(file.data(), file.size(), &block);
        int shown = PresetOptionIndex(1, block);
        EXPECT_STREQ(c.shown, OptionLabels[SettingTable[1].firstLabel + shown])
            << "stored " << c.stored;
    }
}

TEST(PresetOptionIndex, EmptyBlockShowsFirstOptions) {
    SettingsBlock block = {};
    for (int k = 0; k < kSettingRows; ++k) EXPECT_EQ(0, PresetOptionIndex(k, block));
}

// ---- setting command ------------------------------------------------------------

TEST(SettingCommand, TagIsTheBuildsFourLetters) {
    const char* tag = TAVO_COMMAND_TAG_TEXT;
    ASSERT_EQ(4u, strlen(tag));
    EXPECT_EQ(0, memcmp(CommandTag, tag, 5));
}

struct CommandCase {
    int row;
    int index;
    unsigned char bytes[8];
};

TEST(SettingCommand, Bytes) {
    const CommandCase cases[] = {
        // "单向" in the fourth list.
        {4, 1, {0x1B, 0x05, 0x0A, 0x01, 0x00, 0xA9, 0x1B, 0x05}},
        // "17 英寸" in the first list.
        {1, 17, {0x1B, 0x05, 0x05, 0x11, 0x00, 0xB6, 0x1B, 0x05}},
        // No selection (CB_ERR): the sign fills byte 4.
        {1, -1, {0x1B, 0x05, 0x05, 0xFF, 0xFF, 0xA7, 0x1B, 0x05}},
        {0, 1, {0x1B, 0x05, 0x2B, 0x01, 0x00, 0x88, 0x1B, 0x05}},
        {6, 3, {0x1B, 0x05, 0x24, 0x03, 0x00, 0x85, 0x1B, 0x05}},
        {2, 0x1234, {0x1B, 0x05, 0x07, 0x34, 0x12, 0x83, 0x1B, 0x05}},
        {3, -300, {0x1B, 0x05, 0x09, 0xD4, 0xFE, 0x81, 0x1B, 0x05}},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " index " << c.index);
        unsigned char command[kSettingCommandBytes + 1];
        memset(command, 0xEE, sizeof command);
        BuildSettingCommand(c.row, c.index, command);
        EXPECT_EQ(0, memcmp(c.bytes, command, 8));
        EXPECT_EQ(0, memcmp(TAVO_COMMAND_TAG_TEXT, command + 8, 4));
        EXPECT_EQ(0xEE, command[kSettingCommandBytes]) << "wrote past 12 bytes";
        // The check byte by its own rule.
        EXPECT_EQ(command[4] ^ command[2] ^ command[3] ^ 0xA2, command[5]);
    }
}

TEST(SettingCommand, DecodesBackForEveryRowAndSixteenBitIndex) {
    for (int row = 0; row < kSettingRows; ++row) {
        for (int index = -32768; index <= 32767; ++index) {
            unsigned char command[kSettingCommandBytes];
            BuildSettingCommand(row, index, command);
            DecodedCommand decoded;
            ASSERT_EQ(kSettingCommandBytes,
                      DecodeSettingCommand(command, sizeof command, &decoded));
            ASSERT_EQ(SettingTable[row].code, decoded.code);
            ASSERT_EQ(index, decoded.optionIndex) << "row " << row;
            ASSERT_EQ(row, decoded.row);
            ASSERT_TRUE(decoded.checkOk);
            ASSERT_TRUE(decoded.tagOk);
        }
    }
}

TEST(SettingCommand, DecodeRejectsWhatIsNoCommand) {
    unsigned char command[kSettingCommandBytes];
    BuildSettingCommand(4, 1, command);
    DecodedCommand decoded;
    EXPECT_EQ(0, DecodeSettingCommand(command, 11, &decoded));
    EXPECT_EQ(0, DecodeSettingCommand(nullptr, 12, &decoded));
    for (int at : {0, 1, 6, 7}) {
        unsigned char broken[kSettingCommandBytes];
        memcpy(broken, command, sizeof broken);
        broken[at] ^= 0x40;
        EXPECT_EQ(0, DecodeSettingCommand(broken, sizeof broken, &decoded)) << "byte " << at;
    }
    unsigned char badCheck[kSettingCommandBytes];
    memcpy(badCheck, command, sizeof badCheck);
    badCheck[5] ^= 1;
    ASSERT_EQ(kSettingCommandBytes, DecodeSettingCommand(badCheck, sizeof badCheck, &decoded));
    EXPECT_FALSE(decoded.checkOk);
    EXPECT_TRUE(decoded.tagOk);
    badCheck[5] ^= 1;
    badCheck[11] = '?';
    ASSERT_EQ(kSettingCommandBytes, DecodeSettingCommand(badCheck, sizeof badCheck, &decoded));
    EXPECT_TRUE(decoded.checkOk);
    EXPECT_FALSE(decoded.tagOk);
}

TEST(InfSectionWord, FourLettersOfTheBuild) {
    wchar_t word[5];
    memset(word, 0x55, sizeof word);
    BuildInfSectionWord(word);
    const char* letters = TAVO_INF_SECTION_TEXT;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(wchar_t(letters[i]), word[i]);
    EXPECT_EQ(L'\0', word[4]);
}

}  // namespace
