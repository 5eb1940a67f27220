// tavoctl's front end: the command table, the main help, and dispatch. Each
// command is in command_NAME.cpp with its usage text and options; the
// option parser is in command_line.cpp.
#include "cli/tavoctl.h"

#include <string.h>

#include "cli/command.h"

const CommandEntry kCommandTable[] = {
    {"list", "list", "the supported printers found, with their state", &kListUsage, RunList},
    {"show", "show FILE", "a settings file (.dep) decoded", &kShowUsage, RunShow},
    {"encode", "encode SETTING OPTION", "the 12 command bytes in hex; sends nothing", &kEncodeUsage,
     RunEncode},
    {"decode", "decode FILE|-", "a byte stream read back as settings", &kDecodeUsage, RunDecode},
    {"apply", "apply ...", "send settings to one printer or to all of them", &kApplyUsage,
     RunApply},
    {"settings", "settings", "the six settings and their options", &kSettingsUsage, RunSettings},
};
const size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];

namespace {

const char kExitCodesHelp[] =
    "Exit codes:\n"
    "  0  done (apply: every command delivered)\n"
    "  1  apply: some command not delivered (offline, paused, refused, failed)\n"
    "  2  usage error: unknown command, option, setting or option label\n"
    "  3  no supported printer found, or a named printer missing or not supported\n"
    "  4  the spooler (CUPS server) did not answer\n"
    "  5  a file cannot be read; decode met stray bytes, a bad check byte or no command\n";

void WriteMainHelp(Output* out) {
    Text help;
    help.Append(
        "Usage: tavoctl [--json] COMMAND [ARGS]\n"
        "Printer settings of the dot-matrix printer from the command line.\n"
        "\n"
        "Commands:\n");
    for (const CommandEntry& entry : kCommandTable) {
        help.Format("  %-22s %s\n", entry.synopsis, entry.summary);
    }
    help.Append(
        "\n"
        "Run 'tavoctl COMMAND --help' for a command's options. --json gives\n"
        "machine-readable output on standard output; messages go to standard error.\n"
        "\n");
    help.Append(kExitCodesHelp);
    Write(out, help.c_str());
}

const CommandEntry* FindCommand(const char* name) {
    for (const CommandEntry& entry : kCommandTable) {
        if (strcmp(entry.name, name) == 0) return &entry;
    }
    return nullptr;
}

int RunCommand(Context* context, const CommandEntry& entry) {
    if (context->line.help) {
        Write(context->out, entry.usage->text);
        Write(context->out, kExitCodesHelp);
        return kExitOk;
    }
    if (int code = CheckOptions(context, entry.usage->options)) return code;
    return entry.run(context);
}

}  // namespace

int RunTavoctl(int argc, const char* const* argv, Output* out, Output* err,
               SpoolerFactory factory) {
    Context context;
    context.out = out;
    context.err = err;
    context.factory = factory;
    if (int code = ParseCommandLine(&context, argc, argv)) return code;
    const CommandLine& line = context.line;
    if (line.command == nullptr) {
        WriteMainHelp(line.help ? out : err);
        return line.help ? kExitOk : kExitUsage;
    }
    if (const CommandEntry* entry = FindCommand(line.command)) return RunCommand(&context, *entry);
    const char* unknown = line.command;
    context.line.command = nullptr;
    return UsageError(&context, "unknown command '%s'", unknown);
}
