// Settings as the commands print and read them: hex bytes, one setting as
// text or as JSON members, and SETTING=OPTION arguments.
#pragma once

#include <stddef.h>

#include "cli/text.h"

struct Context;

struct SettingChoice {
    int row;
    int option;
};

// The bytes in upper-case hex, `separator` between them.
void AppendHex(Text* out, const unsigned char* bytes, size_t size, const char* separator);

// "自动换行 = 开 (setting 3, option 1)"
void AppendSettingText(Text* out, int row, int option);

// "setting":3,"name":"自动换行","english":"auto-wrap","code":9,"option":1,"label":"开"
void AppendSettingJson(Text* out, int row, int option);

// SETTING and OPTION into a choice; a usage error (its exit code) otherwise.
int ParseChoice(Context* context, const char* setting, const char* option, SettingChoice* choice);

// SETTING=OPTION into a choice; a usage error (its exit code) otherwise.
int ParsePair(Context* context, const char* pair, SettingChoice* choice);
