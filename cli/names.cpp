// Setting rows and their options found by label, number or English word.
#include "cli/names.h"

#include <string.h>
#include <wchar.h>

#include "cli/text.h"
#include "printer/settings_command.h"

namespace {

const char* const kEnglishRowNames[kSettingRows] = {
    "", "page-length", "auto-cut", "auto-wrap", "direction", "emulation", "feed-wait",
};

// English words for labels, for keyboards without Chinese input.
struct LabelWord {
    const char* word;
    const wchar_t* label;
};
const LabelWord kLabelWords[] = {
    {"off", L"关"},
    {"on", L"开"},
    {"no", L"否"},
    {"yes", L"是"},
    {"bidirectional", L"双向"},
    {"unidirectional", L"单向"},
    {"auto", L"自动"},
    {"custom", L"自定义"},
};

// Spaces dropped, ASCII lower case, 英寸 as "in" and 秒 as "s".
void NormaliseLabel(const char* text, Text* out) {
    static const char kInch[] = "\xE8\x8B\xB1\xE5\xAF\xB8";  // 英寸
    static const char kSecond[] = "\xE7\xA7\x92";            // 秒
    out->Clear();
    for (const char* p = text; *p != '\0';) {
        if (strncmp(p, kInch, 6) == 0) {
            out->Append("in");
            p += 6;
        } else if (strncmp(p, kSecond, 3) == 0) {
            out->Append("s");
            p += 3;
        } else {
            char c = *p++;
            if (c == ' ' || c == '\t') continue;
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            out->AppendChar(c);
        }
    }
}

// A whole non-negative decimal number, or -1.
long ParseIndex(const char* text) {
    if (*text == '\0' || strlen(text) > 6) return -1;
    long value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

bool SameNormalised(const char* a, const wchar_t* label) {
    Text utf8, left, right;
    ToUtf8(label, &utf8);
    NormaliseLabel(a, &left);
    NormaliseLabel(utf8.c_str(), &right);
    return left.size() > 0 && strcmp(left.c_str(), right.c_str()) == 0;
}

// The option of `row` whose label an English word stands for, or -1.
int FindOptionByWord(int row, const char* text) {
    const SettingRow& setting = SettingTable[row];
    Text word;
    NormaliseLabel(text, &word);
    for (const LabelWord& entry : kLabelWords) {
        if (strcmp(word.c_str(), entry.word) != 0) continue;
        for (int option = 0; option < setting.optionCount; ++option) {
            if (wcscmp(OptionLabel(row, option), entry.label) == 0) return option;
        }
    }
    return -1;
}

}  // namespace

const char* SettingEnglishName(int row) { return kEnglishRowNames[row]; }

const wchar_t* OptionLabel(int row, int option) {
    return OptionLabels[SettingTable[row].firstLabel + option];
}

int FindSettingRow(const char* text) {
    long number = ParseIndex(text);
    if (number >= 1 && number < kSettingRows) return int(number);
    for (int row = 1; row < kSettingRows; ++row) {
        if (SameNormalised(text, SettingRowNames[row])) return row;
        Text english;
        NormaliseLabel(text, &english);
        if (strcmp(english.c_str(), kEnglishRowNames[row]) == 0) return row;
    }
    return -1;
}

int FindOption(int row, const char* text) {
    const SettingRow& setting = SettingTable[row];
    for (int option = 0; option < setting.optionCount; ++option) {
        if (SameNormalised(text, OptionLabel(row, option))) return option;
    }
    int byWord = FindOptionByWord(row, text);
    if (byWord >= 0) return byWord;
    long number = ParseIndex(text);
    if (number >= 0 && number < setting.optionCount) return int(number);
    return -1;
}
