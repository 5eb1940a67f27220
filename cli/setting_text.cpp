// Printing settings and reading SETTING=OPTION arguments.
#include "cli/setting_text.h"

#include <string.h>

#include "cli/command.h"
#include "cli/names.h"
#include "printer/settings_command.h"

void AppendHex(Text* out, const unsigned char* bytes, size_t size, const char* separator) {
    for (size_t i = 0; i < size; ++i) {
        out->Format("%s%02X", i == 0 ? "" : separator, bytes[i]);
    }
}

void AppendSettingText(Text* out, int row, int option) {
    AppendUtf8(out, SettingRowNames[row]);
    out->Append(" = ");
    AppendUtf8(out, OptionLabel(row, option));
    out->Format(" (setting %d, option %d)", row, option);
}

void AppendSettingJson(Text* out, int row, int option) {
    Text utf8;
    out->Format("\"setting\":%d,\"name\":", row);
    ToUtf8(SettingRowNames[row], &utf8);
    AppendJsonString(out, utf8.c_str());
    out->Append(",\"english\":");
    AppendJsonString(out, SettingEnglishName(row));
    out->Format(",\"code\":%d,\"option\":%d,\"label\":", SettingTable[row].code, option);
    ToUtf8(OptionLabel(row, option), &utf8);
    AppendJsonString(out, utf8.c_str());
}

namespace {

// "'x' is not an option of 自动切纸 (auto-cut): choose one of 关, 开"
int NotAnOption(Context* context, int row, const char* option) {
    Text message;
    message.Format("'%s' is not an option of ", option);
    AppendUtf8(&message, SettingRowNames[row]);
    message.Format(" (%s): choose one of ", SettingEnglishName(row));
    for (int i = 0; i < SettingTable[row].optionCount; ++i) {
        if (i > 0) message.Append(", ");
        AppendUtf8(&message, OptionLabel(row, i));
    }
    return UsageError(context, "%s", message.c_str());
}

}  // namespace

int ParseChoice(Context* context, const char* setting, const char* option, SettingChoice* choice) {
    choice->row = FindSettingRow(setting);
    if (choice->row < 0) {
        return UsageError(context, "unknown setting '%s' (see 'tavoctl settings')", setting);
    }
    choice->option = FindOption(choice->row, option);
    if (choice->option < 0) return NotAnOption(context, choice->row, option);
    return kExitOk;
}

int ParsePair(Context* context, const char* pair, SettingChoice* choice) {
    const char* equals = strchr(pair, '=');
    if (equals == nullptr) return UsageError(context, "'%s' is not SETTING=OPTION", pair);
    Text setting;
    setting.Append(pair, size_t(equals - pair));
    return ParseChoice(context, setting.c_str(), equals + 1, choice);
}
