// tavoctl decode FILE|-: a byte stream (what a printer received) read back
// as setting commands, with stray bytes and bad commands reported.
#include <string.h>

#include "cli/command.h"
#include "cli/input_file.h"
#include "cli/names.h"
#include "cli/setting_text.h"
#include "printer/settings_command.h"

const CommandUsage kDecodeUsage = {
    "Usage: tavoctl decode [--json] FILE|-\n"
    "Reads a byte stream (what a printer received; - for standard input) and\n"
    "prints each setting command in it, with its check byte and tag verified and\n"
    "any stray bytes reported. Exit code 5 when the stream holds no command or\n"
    "anything besides well-formed commands of known settings.\n"
    "\n",
    0,
};

namespace {

enum { kDecodeLimit = 64 * 1024 * 1024 };

// What the stream held so far. Text output keeps commands and stray runs in
// stream order; JSON gathers them apart.
struct DecodeReport {
    bool json;
    Text out, commandsJson, strayJson;
    bool firstCommand = true, firstStray = true;
    int commands = 0, bad = 0;
    size_t strayBytes = 0;
};

void ReportStray(DecodeReport* report, const unsigned char* bytes, size_t start, size_t end) {
    if (end == start) return;
    size_t length = end - start;
    size_t shown = length < 32 ? length : 32;
    report->strayBytes += length;
    if (report->json) {
        Text* out = &report->strayJson;
        out->Format("%s{\"offset\":%lu,\"length\":%lu,\"hex\":\"", report->firstStray ? "" : ",",
                    static_cast<unsigned long>(start), static_cast<unsigned long>(length));
        AppendHex(out, bytes + start, length, "");
        out->Append("\"}");
    } else {
        Text* out = &report->out;
        out->Format("offset %lu: %lu stray byte%s: ", static_cast<unsigned long>(start),
                    static_cast<unsigned long>(length), length == 1 ? "" : "s");
        AppendHex(out, bytes + start, shown, " ");
        out->Append(shown < length ? " ...\n" : "\n");
    }
    report->firstStray = false;
}

bool OptionInRange(const DecodedCommand& decoded) {
    return decoded.row >= 0 && decoded.optionIndex >= 0 &&
           decoded.optionIndex < SettingTable[decoded.row].optionCount;
}

void AppendCommandJson(Text* out, const unsigned char* command, size_t offset,
                       const DecodedCommand& decoded, bool first) {
    int row = decoded.row;
    bool inRange = OptionInRange(decoded);
    out->Format("%s{\"offset\":%lu,\"code\":%d,\"option\":%d,\"setting\":", first ? "" : ",",
                static_cast<unsigned long>(offset), decoded.code, decoded.optionIndex);
    if (row >= 0) {
        Text utf8;
        out->Format("%d,\"name\":", row);
        ToUtf8(SettingRowNames[row], &utf8);
        AppendJsonString(out, utf8.c_str());
        out->Append(",\"english\":");
        AppendJsonString(out, SettingEnglishName(row));
        out->Append(",\"label\":");
        if (inRange) {
            ToUtf8(OptionLabel(row, decoded.optionIndex), &utf8);
            AppendJsonString(out, utf8.c_str());
        } else {
            out->Append("null");
        }
    } else {
        out->Append("null,\"name\":null,\"english\":null,\"label\":null");
    }
    out->Format(",\"in_range\":%s,\"check_ok\":%s,\"tag_ok\":%s,\"hex\":\"",
                inRange ? "true" : "false", decoded.checkOk ? "true" : "false",
                decoded.tagOk ? "true" : "false");
    AppendHex(out, command, kSettingCommandBytes, "");
    out->Append("\"}");
}

// What the command sets, or why it sets nothing the tool knows.
void AppendCommandMeaning(Text* out, const DecodedCommand& decoded) {
    int row = decoded.row;
    if (OptionInRange(decoded)) {
        AppendSettingText(out, row, decoded.optionIndex);
    } else if (row == 0) {
        out->Format("setting code %d (no list in the tool), option %d", decoded.code,
                    decoded.optionIndex);
    } else if (row > 0) {
        AppendUtf8(out, SettingRowNames[row]);
        out->Format(" (setting %d): option %d is out of range 0..%d", row, decoded.optionIndex,
                    SettingTable[row].optionCount - 1);
    } else {
        out->Format("unknown setting code %d, option %d", decoded.code, decoded.optionIndex);
    }
}

void AppendCommandText(Text* out, const unsigned char* command, size_t offset,
                       const DecodedCommand& decoded) {
    out->Format("offset %lu: ", static_cast<unsigned long>(offset));
    AppendCommandMeaning(out, decoded);
    if (!decoded.checkOk) {
        out->Format("; check byte %02X is wrong, expected %02X", command[5],
                    SettingCheckByte(command[2], command[3], command[4]));
    }
    if (!decoded.tagOk) {
        out->Append("; tag ");
        AppendHex(out, command + 8, 4, " ");
        out->Format(" is not %s", CommandTag);
    }
    out->AppendChar('\n');
}

void ReportCommand(DecodeReport* report, const unsigned char* command, size_t offset,
                   const DecodedCommand& decoded) {
    bool good = decoded.checkOk && decoded.tagOk && OptionInRange(decoded);
    if (!good) ++report->bad;
    ++report->commands;
    if (report->json) {
        AppendCommandJson(&report->commandsJson, command, offset, decoded, report->firstCommand);
    } else {
        AppendCommandText(&report->out, command, offset, decoded);
    }
    report->firstCommand = false;
}

// Walks the stream: a command wherever its frame starts, stray bytes between.
void DecodeStream(DecodeReport* report, const Bytes& bytes) {
    size_t strayStart = 0;
    size_t i = 0;
    while (i < bytes.size) {
        DecodedCommand decoded;
        if (DecodeSettingCommand(bytes.data + i, bytes.size - i, &decoded) == 0) {
            ++i;
            continue;
        }
        ReportStray(report, bytes.data, strayStart, i);
        ReportCommand(report, bytes.data + i, i, decoded);
        i += kSettingCommandBytes;
        strayStart = i;
    }
    ReportStray(report, bytes.data, strayStart, bytes.size);
}

void AppendSummary(DecodeReport* report, const char* path, size_t size, bool ok) {
    Text* out = &report->out;
    if (report->json) {
        out->Append("{\"source\":");
        AppendJsonString(out, path);
        out->Format(
            ",\"size\":%lu,\"commands\":[%s],\"stray\":[%s],\"bad_commands\":%d,"
            "\"stray_bytes\":%lu,\"ok\":%s}\n",
            static_cast<unsigned long>(size), report->commandsJson.c_str(),
            report->strayJson.c_str(), report->bad, static_cast<unsigned long>(report->strayBytes),
            ok ? "true" : "false");
        return;
    }
    out->Format("%d command%s", report->commands, report->commands == 1 ? "" : "s");
    if (report->bad > 0) out->Format(", %d bad", report->bad);
    if (report->strayBytes > 0)
        out->Format(", %lu stray byte%s", static_cast<unsigned long>(report->strayBytes),
                    report->strayBytes == 1 ? "" : "s");
    out->Append(size == 0 ? " (the input is empty)\n" : "\n");
}

}  // namespace

int RunDecode(Context* context) {
    if (context->line.positionalCount != 1)
        return UsageError(context, "decode wants one FILE or -%s", "");
    const char* path = context->line.positional[0];
    Bytes bytes;
    size_t total = 0;
    char error[256];
    if (!ReadAll(path, kDecodeLimit, &bytes, &total, error)) {
        Print(context->err, "tavoctl: %s\n", error);
        return kExitBadInput;
    }
    if (total > bytes.size) {
        Print(context->err, "tavoctl: %s is larger than %d bytes\n", path, kDecodeLimit);
        return kExitBadInput;
    }
    DecodeReport report;
    report.json = context->line.json;
    DecodeStream(&report, bytes);
    bool ok = report.commands > 0 && report.bad == 0 && report.strayBytes == 0;
    AppendSummary(&report, path, bytes.size, ok);
    Write(context->out, report.out.c_str());
    return ok ? kExitOk : kExitBadInput;
}
