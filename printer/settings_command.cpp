// The setting table, the option labels and the 12-byte setting command.
#include "printer/settings_command.h"

#include <string.h>

#include "build_config.h"

// Columns: setting code, default option, option count, first label.
const SettingRow SettingTable[kSettingRows] = {
    {43, 0, 2, 62},   // no list
    {5, 13, 18, 12},  // 拖纸器页长
    {7, 1, 2, 3},     // 自动切纸
    {9, 0, 2, 3},     // 自动换行
    {10, 2, 3, 0},    // 打印方向
    {11, 0, 2, 9},    // 软件
    {36, 1, 4, 5},    // 手动送纸等待时间
};

const wchar_t* const SettingRowNames[kSettingRows] = {
    L"", L"拖纸器页长", L"自动切纸", L"自动换行", L"打印方向", L"软件", L"手动送纸等待时间",
};

const wchar_t* const OptionLabels[kOptionLabelCount] = {
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

const char CommandTag[5] = TAVO_COMMAND_TAG_TEXT;

void BuildInfSectionWord(wchar_t word[5]) {
    // The word is kept as plain letters in the build settings; widening them
    // one by one keeps it out of the string table of the executable's
    // resources and lets the maker change it with one build setting.
    const char* letters = TAVO_INF_SECTION_TEXT;
    for (int i = 0; i < 4; ++i) word[i] = wchar_t(letters[i]);
    word[4] = L'\0';
}

int PresetOptionIndex(int row, const SettingsBlock& block) {
    const SettingRow& setting = SettingTable[row];
    int32_t stored = 0;
    if (setting.code >= 0 && setting.code < kSettingsValues) stored = block.values[setting.code];
    if (stored < 0 || stored >= setting.optionCount) return setting.defaultIndex;
    return stored;
}

unsigned char SettingCheckByte(unsigned char code, unsigned char low, unsigned char high) {
    return static_cast<unsigned char>(high ^ code ^ low ^ 0xA2);
}

void BuildSettingCommand(int row, int optionIndex, unsigned char command[kSettingCommandBytes]) {
    const unsigned char code = static_cast<unsigned char>(SettingTable[row].code & 0xFF);
    const unsigned char low = static_cast<unsigned char>(optionIndex & 0xFF);
    // An arithmetic shift keeps the sign: -1 gives 0xFF.
    const unsigned char high = static_cast<unsigned char>((optionIndex >> 8) & 0xFF);
    command[0] = 0x1B;
    command[1] = 0x05;
    command[2] = code;
    command[3] = low;
    command[4] = high;
    command[5] = SettingCheckByte(code, low, high);
    command[6] = 0x1B;
    command[7] = 0x05;
    memcpy(command + 8, CommandTag, 4);
}

int SettingRowForCode(int code) {
    for (int row = 0; row < kSettingRows; ++row) {
        if (SettingTable[row].code == code) return row;
    }
    return -1;
}

int DecodeSettingCommand(const unsigned char* bytes, size_t size, DecodedCommand* decoded) {
    if (bytes == nullptr || size < kSettingCommandBytes) return 0;
    if (bytes[0] != 0x1B || bytes[1] != 0x05 || bytes[6] != 0x1B || bytes[7] != 0x05) return 0;
    decoded->code = bytes[2];
    decoded->optionIndex = static_cast<int16_t>(uint16_t(bytes[3] | bytes[4] << 8));
    decoded->row = SettingRowForCode(bytes[2]);
    decoded->checkOk = bytes[5] == SettingCheckByte(bytes[2], bytes[3], bytes[4]);
    decoded->tagOk = memcmp(bytes + 8, CommandTag, 4) == 0;
    return kSettingCommandBytes;
}
