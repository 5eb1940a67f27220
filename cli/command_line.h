// tavoctl's command line: every option any command takes, and the parser
// that reads options anywhere on the line. Which command takes which
// option is declared by the command (command.h); the parser refuses the
// rest with the command's name.
#pragma once

#include <stddef.h>

struct Context;

enum OptionBit {
    kOptJson = 1 << 0,
    kOptAllQueues = 1 << 1,
    kOptInf = 1 << 2,
    kOptModel = 1 << 3,
    kOptPrinter = 1 << 4,
    kOptServer = 1 << 5,
    kOptAll = 1 << 6,
    kOptDryRun = 1 << 7,
    kOptTimeout = 1 << 8,
    kOptOutput = 1 << 9,
};
// Options that every command takes besides --help.
enum { kOptEveryCommand = kOptJson };
enum { kMaxArguments = 256 };

struct OptionEntry {
    const char* longName;  // without the leading "--"
    char shortName;        // 0 when none
    unsigned bit;          // OptionBit
    bool takesValue;
};
extern const OptionEntry kOptionTable[];
extern const size_t kOptionCount;

struct CommandLine {
    const char* command = nullptr;
    unsigned given = 0;  // OptionBit set
    bool help = false;
    bool json = false;
    const char* inf = nullptr;
    const char* model = nullptr;
    const char* server = nullptr;
    const char* output = nullptr;
    unsigned timeoutMs = 30000;
    const char* names[kMaxArguments];
    size_t nameCount = 0;
    const char* positional[kMaxArguments];
    size_t positionalCount = 0;
};

// Fills context->line from the arguments: the first word is the command,
// options may stand anywhere, "--" ends them. Reports a malformed option
// and returns the usage exit code; 0 otherwise.
int ParseCommandLine(Context* context, int argc, const char* const* argv);

// Refuses options given on the line that the command does not take
// (`allowed` is an OptionBit set; the options every command takes are
// always allowed). 0 when none.
int CheckOptions(Context* context, unsigned allowed);
