// The spooler as list and apply use it: the model list loaded, the backend
// opened, the queues read, failures reported with their exit codes.
#pragma once

#include "cli/spooler.h"

struct CommandLine;
struct Context;

// "online", "offline" or "paused".
const char* StateWord(int state);

// Whether `name` was given with -p.
bool NamedOnLine(const CommandLine& line, const char* name);

// The spooler belongs to its factory, which keeps it for the process's life
// (the Windows build does without operator new and the exception runtime).
class SpoolerOwner {
  public:
    explicit SpoolerOwner(Spooler* spooler) : spooler_(spooler) {}
    Spooler* get() const { return spooler_; }

  private:
    Spooler* spooler_;
};

// Loads the model list and opens the spooler; null with *exitCode set when
// that fails.
Spooler* OpenSpooler(Context* context, int* exitCode);

// Lists the queues; on failure reports and returns the exit code.
int LoadQueues(Context* context, SpoolerOwner* owner, QueueList* queues);
