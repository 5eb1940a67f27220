// tavoctl: printer settings from the command line. The front end (argument
// parsing, the commands, text and JSON output) is portable; the spooler
// comes from a factory so tests can give a fake one. The setting and option
// names it reads are in names.h.
#pragma once

#include <stddef.h>

#include "cli/names.h"
#include "cli/spooler.h"
#include "cli/text.h"

// Exit codes, documented in --help, cli/README.md and docs/cli.md.
enum ExitCode {
    kExitOk = 0,            // done; for apply: every command delivered
    kExitNotDelivered = 1,  // apply: some command not delivered (offline, paused, refused, failed)
    kExitUsage = 2,         // bad command line: unknown command, setting or option
    kExitNoPrinter = 3,     // no supported printer found, or a named printer missing or not ours
    kExitUnreachable = 4,   // the spooler (CUPS server) did not answer
    kExitBadInput = 5,      // a file that cannot be read; decode met stray bytes or a bad command
};

typedef Spooler* (*SpoolerFactory)(const SpoolerOptions& options, char error[512]);

// Runs one command line. `argv` holds UTF-8 arguments without the program
// name. Output goes to `out`, messages to `err`.
int RunTavoctl(int argc, const char* const* argv, Output* out, Output* err, SpoolerFactory factory);
