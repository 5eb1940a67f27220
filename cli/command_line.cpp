// Reading options anywhere on the command line: --name, --name=value,
// -x value; the first word that is not an option names the command.
#include "cli/command_line.h"

#include <string.h>

#include "cli/command.h"
#include "cli/tavoctl.h"
#include "cli/text.h"

const OptionEntry kOptionTable[] = {
    {"json", 0, kOptJson, false},        {"all-queues", 0, kOptAllQueues, false},
    {"inf", 0, kOptInf, true},           {"model", 0, kOptModel, true},
    {"printer", 'p', kOptPrinter, true}, {"server", 0, kOptServer, true},
    {"all", 0, kOptAll, false},          {"dry-run", 0, kOptDryRun, false},
    {"timeout", 0, kOptTimeout, true},   {"output", 'o', kOptOutput, true},
};
const size_t kOptionCount = sizeof kOptionTable / sizeof kOptionTable[0];

namespace {

// Seconds with an optional fraction, from 0 to 3600; -1 when malformed.
long ParseTimeoutMs(const char* text) {
    long whole = 0, fraction = 0, scale = 1000;
    const char* p = text;
    if (*p == '\0') return -1;
    for (; *p >= '0' && *p <= '9'; ++p) {
        whole = whole * 10 + (*p - '0');
        if (whole > 3600) return -1;
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p) {
            if (scale > 1) fraction += (*p - '0') * (scale /= 10);
        }
    }
    if (*p != '\0') return -1;
    return whole * 1000 + fraction;
}

const OptionEntry* FindLongOption(const char* name, size_t length) {
    const OptionEntry* found = nullptr;
    for (const OptionEntry& candidate : kOptionTable) {
        if (strlen(candidate.longName) == length && strncmp(candidate.longName, name, length) == 0)
            found = &candidate;
    }
    return found;
}

const OptionEntry* FindShortOption(char name) {
    const OptionEntry* found = nullptr;
    for (const OptionEntry& candidate : kOptionTable) {
        if (candidate.shortName == name) found = &candidate;
    }
    return found;
}

// Keeps an option's value in the line; a usage error for a bad one.
int StoreOption(Context* context, const OptionEntry& option, const char* value) {
    CommandLine& line = context->line;
    line.given |= option.bit;
    switch (option.bit) {
        case kOptJson:
            line.json = true;
            break;
        case kOptInf:
            line.inf = value;
            break;
        case kOptModel:
            line.model = value;
            break;
        case kOptServer:
            line.server = value;
            break;
        case kOptOutput:
            line.output = value;
            break;
        case kOptPrinter:
            if (line.nameCount >= kMaxArguments)
                return UsageError(context, "too many printers%s", "");
            if (value[0] == '\0') return UsageError(context, "an empty printer name%s", "");
            line.names[line.nameCount++] = value;
            break;
        case kOptTimeout: {
            long ms = ParseTimeoutMs(value);
            if (ms < 0)
                return UsageError(context, "--timeout wants seconds (0 to 3600), not '%s'", value);
            line.timeoutMs = unsigned(ms);
            break;
        }
        default:
            break;
    }
    return kExitOk;
}

// The command word, then the positional arguments.
int StoreWord(Context* context, const char* arg) {
    CommandLine& line = context->line;
    if (line.command == nullptr) {
        line.command = arg;
    } else if (line.positionalCount < kMaxArguments) {
        line.positional[line.positionalCount++] = arg;
    } else {
        return UsageError(context, "too many arguments%s", "");
    }
    return kExitOk;
}

}  // namespace

int ParseCommandLine(Context* context, int argc, const char* const* argv) {
    bool optionsEnd = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnd && strcmp(arg, "--") == 0) {
            optionsEnd = true;
            continue;
        }
        if (optionsEnd || arg[0] != '-' || strcmp(arg, "-") == 0) {
            if (int code = StoreWord(context, arg)) return code;
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            context->line.help = true;
            continue;
        }
        const OptionEntry* option = nullptr;
        const char* value = nullptr;
        if (arg[1] == '-') {
            const char* name = arg + 2;
            const char* equals = strchr(name, '=');
            option = FindLongOption(name, equals != nullptr ? size_t(equals - name) : strlen(name));
            if (option != nullptr && equals != nullptr) {
                if (!option->takesValue) return UsageError(context, "%s takes no value", arg);
                value = equals + 1;
            }
        } else if (arg[2] == '\0') {
            option = FindShortOption(arg[1]);
        }
        if (option == nullptr) return UsageError(context, "unknown option %s", arg);
        if (option->takesValue && value == nullptr) {
            if (i + 1 >= argc) return UsageError(context, "%s needs a value", arg);
            value = argv[++i];
        }
        if (int code = StoreOption(context, *option, value)) return code;
    }
    return kExitOk;
}

int CheckOptions(Context* context, unsigned allowed) {
    unsigned extra = context->line.given & ~(allowed | kOptEveryCommand);
    for (const OptionEntry& option : kOptionTable) {
        if (extra & option.bit) {
            Text message;
            message.Format("%s takes no --%s", context->line.command, option.longName);
            return UsageError(context, "%s", message.c_str());
        }
    }
    return kExitOk;
}

int UsageError(Context* context, const char* format, const char* detail) {
    Write(context->err, "tavoctl: ");
    Print(context->err, format, detail);
    Write(context->err, "\n");
    if (context->line.command != nullptr) {
        Print(context->err, "Run 'tavoctl %s --help' for its usage.\n", context->line.command);
    } else {
        Write(context->err, "Run 'tavoctl --help' for the commands.\n");
    }
    return kExitUsage;
}
