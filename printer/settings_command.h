// The printer settings: the setting table, the option labels, the preset
// rule for the lists and the 12-byte command that changes one setting.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "printer/package_files.h"

enum { kSettingRows = 7, kOptionLabelCount = 90, kSettingCommandBytes = 12 };

struct SettingRow {
    int32_t code;  // index into the settings block, byte 2 of the command
    int32_t defaultIndex;
    int32_t optionCount;
    int32_t firstLabel;  // index into OptionLabels
};

extern const SettingRow SettingTable[kSettingRows];
extern const wchar_t* const OptionLabels[kOptionLabelCount];
// The row labels the main window paints beside the lists; row 0 has none.
extern const wchar_t* const SettingRowNames[kSettingRows];

// The four letters of bytes 8 to 11, set by the maker at build time.
extern const char CommandTag[5];
// The INF section that lists the supported models, also the installer's
// first argument; set by the maker at build time.
void BuildInfSectionWord(wchar_t word[5]);

// The option a row's list shows first: the stored value for the row's code,
// or the row's default when that value is below 0 or not below the count.
int PresetOptionIndex(int row, const SettingsBlock& block);

// Fills the 12 bytes that set row `row` to option `optionIndex`.
void BuildSettingCommand(int row, int optionIndex, unsigned char command[kSettingCommandBytes]);

// Byte 5 of a command whose bytes 2 to 4 are `code`, `low` and `high`: byte 4
// XOR byte 2 XOR byte 3 XOR A2. The builder writes it, the decoder checks it.
unsigned char SettingCheckByte(unsigned char code, unsigned char low, unsigned char high);

// A command read back from a byte stream.
struct DecodedCommand {
    int code;         // byte 2
    int optionIndex;  // bytes 3 and 4 as a signed 16-bit value
    int row;          // the table row with that code, or -1
    int checkOk;      // byte 5 matches
    int tagOk;        // bytes 8 to 11 are the tag
};

// Looks for a command at the start of `bytes`: returns 12 and fills
// `decoded` when the 12 bytes have the command's frame (ESC 05 at 0 and 6),
// else 0.
int DecodeSettingCommand(const unsigned char* bytes, size_t size, DecodedCommand* decoded);

// The row with setting code `code`, or -1.
int SettingRowForCode(int code);
