// tavoctl encode: the 12 bytes of setting commands, in hex and optionally
// to a file; nothing is sent.
#include <errno.h>
#include <string.h>

#include "cli/command.h"
#include "cli/input_file.h"
#include "cli/setting_text.h"
#include "printer/settings_command.h"

const CommandUsage kEncodeUsage = {
    "Usage: tavoctl encode [--json] [-o FILE] SETTING OPTION\n"
    "       tavoctl encode [--json] [-o FILE] SETTING=OPTION...\n"
    "Prints the 12 bytes of each setting command in hex; sends nothing.\n"
    "\n"
    "SETTING is the label as the tool shows it (拖纸器页长), its number 1 to 6,\n"
    "or its English name; OPTION is the label (11 英寸, 开), the option number\n"
    "from 0 as the printer receives it, or an English word. Run 'tavoctl settings'\n"
    "for the table.\n"
    "\n"
    "  -o, --output FILE   also write the command bytes to FILE\n"
    "\n",
    kOptOutput,
};

namespace {

// SETTING OPTION, or SETTING=OPTION pairs, into choices.
int ParseChoices(Context* context, SettingChoice choices[kMaxArguments], size_t* count) {
    const CommandLine& line = context->line;
    if (line.positionalCount == 2 && strchr(line.positional[0], '=') == nullptr) {
        *count = 1;
        return ParseChoice(context, line.positional[0], line.positional[1], &choices[0]);
    }
    if (line.positionalCount == 0) {
        return UsageError(context, "encode wants SETTING OPTION or SETTING=OPTION...%s", "");
    }
    for (size_t i = 0; i < line.positionalCount; ++i) {
        if (int code = ParsePair(context, line.positional[i], &choices[(*count)++])) return code;
    }
    return kExitOk;
}

void AppendCommand(Text* out, const SettingChoice& choice, const unsigned char* command, bool json,
                   bool first) {
    if (json) {
        out->Append(first ? "{" : ",{");
        AppendSettingJson(out, choice.row, choice.option);
        out->Append(",\"hex\":\"");
        AppendHex(out, command, kSettingCommandBytes, "");
        out->Append("\"}");
    } else {
        AppendSettingText(out, choice.row, choice.option);
        out->AppendChar('\n');
        AppendHex(out, command, kSettingCommandBytes, " ");
        out->AppendChar('\n');
    }
}

bool WriteBytes(const char* path, const Text& bytes) {
    FILE* file = OpenFile(path, "wb");
    bool written = file != nullptr && fwrite(bytes.c_str(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && fclose(file) != 0) written = false;
    return written;
}

}  // namespace

int RunEncode(Context* context) {
    const CommandLine& line = context->line;
    SettingChoice choices[kMaxArguments];
    size_t count = 0;
    if (int code = ParseChoices(context, choices, &count)) return code;

    Text out;
    Text raw;
    if (line.json) out.Append("{\"commands\":[");
    for (size_t i = 0; i < count; ++i) {
        unsigned char command[kSettingCommandBytes];
        BuildSettingCommand(choices[i].row, choices[i].option, command);
        raw.Append(reinterpret_cast<const char*>(command), sizeof command);
        AppendCommand(&out, choices[i], command, line.json, i == 0);
    }
    if (line.json) out.Append("]}\n");
    if (line.output != nullptr && !WriteBytes(line.output, raw)) {
        Print(context->err, "tavoctl: cannot write %s: %s\n", line.output, strerror(errno));
        return kExitBadInput;
    }
    Write(context->out, out.c_str());
    return kExitOk;
}
