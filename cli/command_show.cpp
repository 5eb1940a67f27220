// tavoctl show FILE: a settings file (.dep) decoded as the tool reads it.
#include <stdint.h>

#include "cli/command.h"
#include "cli/input_file.h"
#include "cli/names.h"
#include "cli/setting_text.h"
#include "printer/settings_command.h"

const CommandUsage kShowUsage = {
    "Usage: tavoctl show [--json] FILE\n"
    "Decodes a settings file (.dep): each of the six settings with its name and\n"
    "option label as the tool shows them. A stored value out of range is flagged:\n"
    "the tool shows that setting's default instead. Values past the end of a short\n"
    "file read as 0; bytes past 256 are ignored.\n"
    "\n",
    0,
};

namespace {

void AppendFileHeading(Text* out, const char* path, size_t total, bool json) {
    if (json) {
        out->Append("{\"file\":");
        AppendJsonString(out, path);
        out->Format(",\"size\":%lu,\"settings\":[", static_cast<unsigned long>(total));
        return;
    }
    out->Format("%s: %lu bytes", path, static_cast<unsigned long>(total));
    if (total < kSettingsBlockBytes) {
        out->Format(" (shorter than %d: values from byte %lu on read as 0)", kSettingsBlockBytes,
                    static_cast<unsigned long>(total));
    } else if (total > kSettingsBlockBytes) {
        out->Format(" (bytes from %d on are ignored)", kSettingsBlockBytes);
    }
    out->AppendChar('\n');
}

// One row; returns whether its stored value is in range.
bool AppendStoredRow(Text* out, const SettingsBlock& block, int row, bool json) {
    const SettingRow& setting = SettingTable[row];
    int32_t stored = block.values[setting.code];
    int option = PresetOptionIndex(row, block);
    bool inRange = stored >= 0 && stored < setting.optionCount;
    if (json) {
        out->Append(row == 1 ? "{" : ",{");
        AppendSettingJson(out, row, option);
        out->Format(",\"stored\":%ld,\"in_range\":%s,\"default\":%d}", long(stored),
                    inRange ? "true" : "false", setting.defaultIndex);
        return inRange;
    }
    out->Format("  %d ", row);
    AppendUtf8(out, SettingRowNames[row]);
    out->Append(" = ");
    AppendUtf8(out, OptionLabel(row, option));
    if (inRange) {
        out->Format("  (stored %ld)\n", long(stored));
    } else {
        out->Format("  (stored %ld is out of range 0..%d: the tool shows the default)\n",
                    long(stored), setting.optionCount - 1);
    }
    return inRange;
}

}  // namespace

int RunShow(Context* context) {
    if (context->line.positionalCount != 1) return UsageError(context, "show wants one FILE%s", "");
    const char* path = context->line.positional[0];
    Bytes bytes;
    size_t total = 0;
    char error[256];
    if (!ReadAll(path, kSettingsBlockBytes, &bytes, &total, error)) {
        Print(context->err, "tavoctl: %s\n", error);
        return kExitBadInput;
    }
    SettingsBlock block;
    DecodeSettingsBlock(bytes.data, bytes.size, &block);

    bool json = context->line.json;
    Text out;
    AppendFileHeading(&out, path, total, json);
    int outOfRange = 0;
    for (int row = 1; row < kSettingRows; ++row) {
        if (!AppendStoredRow(&out, block, row, json)) ++outOfRange;
    }
    if (json) {
        out.Format("],\"out_of_range\":%d}\n", outOfRange);
    } else if (outOfRange > 0) {
        out.Format("%d stored value%s out of range\n", outOfRange, outOfRange == 1 ? "" : "s");
    }
    Write(context->out, out.c_str());
    return kExitOk;
}
