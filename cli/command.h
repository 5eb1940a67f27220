// What tavoctl's commands share: the context they run in, the usage error
// report, and the command table. Each command lives in its own file
// (command_NAME.cpp) with its usage text and the options it takes.
#pragma once

#include <stddef.h>

#include "cli/command_line.h"
#include "cli/model_list.h"
#include "cli/tavoctl.h"
#include "cli/text.h"

struct Context {
    Output* out;
    Output* err;
    SpoolerFactory factory;
    CommandLine line;
    ModelListBuffer models;
};

// Reports "tavoctl: " + format (with `detail` in its %s) and where to find
// help; returns the usage exit code.
int UsageError(Context* context, const char* format, const char* detail);

// What a command's file declares besides its run function.
struct CommandUsage {
    const char* text;  // its --help text; the exit codes follow it
    unsigned options;  // the OptionBit set it takes, besides --json and --help
};

struct CommandEntry {
    const char* name;
    const char* synopsis;  // as the main help lists it: "show FILE"
    const char* summary;   // one line for the main help
    const CommandUsage* usage;
    int (*run)(Context* context);
};

// Every command, in the order the main help lists them.
extern const CommandEntry kCommandTable[];
extern const size_t kCommandCount;

extern const CommandUsage kListUsage;
extern const CommandUsage kShowUsage;
extern const CommandUsage kEncodeUsage;
extern const CommandUsage kDecodeUsage;
extern const CommandUsage kApplyUsage;
extern const CommandUsage kSettingsUsage;

int RunList(Context* context);
int RunShow(Context* context);
int RunEncode(Context* context);
int RunDecode(Context* context);
int RunApply(Context* context);
int RunSettings(Context* context);
