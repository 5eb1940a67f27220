// Setting and option names as tavoctl's command lines give them: the labels
// the tool shows, numbers, and English words for keyboards without Chinese
// input.
#pragma once

// Finds the setting row (1 to 6) named by `text`: the row label as the tool
// shows it, its number, or its English name. -1 when none.
int FindSettingRow(const char* text);
// Finds the option of `row` named by `text`: the label as the tool shows it
// (spaces and ASCII case do not matter; "in" may stand for 英寸 and "s" for
// 秒), an English word (on, off, auto...) or the option number from 0.
// -1 when none.
int FindOption(int row, const char* text);
// The English name of a row (1 to 6).
const char* SettingEnglishName(int row);
// The label the tool shows for option `option` of row `row`.
const wchar_t* OptionLabel(int row, int option);
