// Opening the spooler for list and apply, and reading its queues.
#include "cli/printer_queues.h"

#include <string.h>

#include "cli/command.h"

const char* StateWord(int state) {
    switch (state) {
        case kQueueOffline:
            return "offline";
        case kQueuePaused:
            return "paused";
        default:
            return "online";
    }
}

bool NamedOnLine(const CommandLine& line, const char* name) {
    for (size_t i = 0; i < line.nameCount; ++i) {
        if (strcmp(line.names[i], name) == 0) return true;
    }
    return false;
}

int LoadQueues(Context* context, SpoolerOwner* owner, QueueList* queues) {
    char error[512] = "";
    int status = owner->get()->ListQueues(queues, error);
    if (status == kSpoolOk) return kExitOk;
    if (status == kSpoolUnreachable) {
        Print(context->err, "tavoctl: cannot reach the %s%s%s\n", owner->get()->Name(),
              error[0] != '\0' ? ": " : "", error);
        return kExitUnreachable;
    }
    Print(context->err, "tavoctl: listing the printers failed%s%s\n", error[0] != '\0' ? ": " : "",
          error);
    return kExitUnreachable;
}

namespace {

// The INF named with --inf, else the package's. 0 with the exit code in
// *exitCode when a named INF cannot be read; a missing default INF is only
// reported, as -p and --model can still name printers.
bool LoadModels(Context* context, int* exitCode) {
    const CommandLine& line = context->line;
    char error[512] = "";
    Text defaultPath;
    const char* path = line.inf;
    if (path == nullptr) {
        DefaultInfPath(&defaultPath);
        path = defaultPath.c_str();
    }
    if (LoadModelList(path, &context->models, error)) return true;
    if (line.inf != nullptr) {
        Print(context->err, "tavoctl: %s\n", error);
        *exitCode = kExitBadInput;
        return false;
    }
    if (line.model == nullptr && line.nameCount == 0) {
        Print(context->err,
              "tavoctl: no model list at %s (give --inf PATH): no printer is recognised by "
              "its model\n",
              path[0] != '\0' ? path : "data/oemprnt.inf beside tavoctl");
    }
    return true;
}

}  // namespace

Spooler* OpenSpooler(Context* context, int* exitCode) {
    if (!LoadModels(context, exitCode)) return nullptr;
    const CommandLine& line = context->line;
    SpoolerOptions options;
    options.server = line.server;
    options.modelList = context->models.list;
    options.modelCapacity = context->models.capacity;
    options.model = line.model;
    options.names = line.names;
    options.nameCount = line.nameCount;
    char error[512] = "";
    Spooler* spooler = context->factory(options, error);
    if (spooler == nullptr) {
        Print(context->err, "tavoctl: %s\n", error[0] != '\0' ? error : "no spooler");
        *exitCode = kExitUnreachable;
    }
    return spooler;
}
