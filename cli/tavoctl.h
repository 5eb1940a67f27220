// tavoctl: printer settings from the command line. The front end (argument
// parsing, the commands, text and JSON output) is portable; the spooler
// comes from a factory so tests can give a fake one.
#pragma once

#include <stddef.h>

#include "spooler.h"
#include "text.h"

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

// Finds the setting row (1 to 6) named by `text`: the row label as the tool
// shows it, its number, or its English name. -1 when none.
int FindSettingRow(const char* text);
// Finds the option of `row` named by `text`: the label as the tool shows it
// (spaces and ASCII case do not matter; "in" may stand for 英寸 and "s" for
// 秒), an English word (on, off, auto...) or the option number from 0.
// -1 when none.
int FindOption(int row, const char* text);
// The English name of a row (1 to 6).
const char* SettingEnglishName(int row);
