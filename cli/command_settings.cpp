// tavoctl settings: the six settings with their options and defaults.
#include "cli/command.h"
#include "cli/names.h"
#include "printer/settings_command.h"

const CommandUsage kSettingsUsage = {
    "Usage: tavoctl settings [--json]\n"
    "Prints the six settings with their numbers, English names, options and\n"
    "defaults.\n"
    "\n",
    0,
};

namespace {

void AppendRowJson(Text* out, int row) {
    const SettingRow& setting = SettingTable[row];
    Text utf8;
    out->Format("%s{\"setting\":%d,\"name\":", row == 1 ? "" : ",", row);
    ToUtf8(SettingRowNames[row], &utf8);
    AppendJsonString(out, utf8.c_str());
    out->Append(",\"english\":");
    AppendJsonString(out, SettingEnglishName(row));
    out->Format(",\"code\":%d,\"default\":%d,\"options\":[", setting.code, setting.defaultIndex);
    for (int option = 0; option < setting.optionCount; ++option) {
        if (option > 0) out->AppendChar(',');
        ToUtf8(OptionLabel(row, option), &utf8);
        AppendJsonString(out, utf8.c_str());
    }
    out->Append("]}");
}

void AppendRowText(Text* out, int row) {
    const SettingRow& setting = SettingTable[row];
    out->Format("%d ", row);
    AppendUtf8(out, SettingRowNames[row]);
    out->Format(" (%s, code %d)\n", SettingEnglishName(row), setting.code);
    for (int option = 0; option < setting.optionCount; ++option) {
        out->Format("    %2d  ", option);
        AppendUtf8(out, OptionLabel(row, option));
        out->Append(option == setting.defaultIndex ? "  (default)\n" : "\n");
    }
}

}  // namespace

int RunSettings(Context* context) {
    if (context->line.positionalCount != 0)
        return UsageError(context, "settings takes no argument%s", "");
    bool json = context->line.json;
    Text out;
    if (json) out.Append("{\"settings\":[");
    for (int row = 1; row < kSettingRows; ++row) {
        if (json) {
            AppendRowJson(&out, row);
        } else {
            AppendRowText(&out, row);
        }
    }
    if (json) out.Append("]}\n");
    Write(context->out, out.c_str());
    return kExitOk;
}
