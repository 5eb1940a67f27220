// tavoctl list: the supported printers the spooler has, with their state.
#include <string.h>

#include "cli/command.h"
#include "cli/printer_queues.h"

const CommandUsage kListUsage = {
    "Usage: tavoctl list [--all-queues] [--json] [SPOOLER OPTIONS]\n"
    "Lists the supported printers with their state (online, offline, paused).\n"
    "On Windows a printer is supported when its driver name occurs in a line of\n"
    "the model list of the package's INF; on Linux when a CUPS queue's\n"
    "make-and-model matches that list or --model, or when it is named with -p.\n"
    "\n"
    "  --all-queues        list every queue, with a column that tells whether it is ours\n"
    "  --inf PATH          the INF with the model list (default: data/oemprnt.inf\n"
    "                      beside tavoctl)\n"
    "  --model TEXT        (Linux) queues whose make-and-model contains TEXT are ours\n"
    "  -p, --printer NAME  (Linux) this queue is ours whatever its make-and-model\n"
    "  --server HOST:PORT  (Linux) the CUPS server (default: CUPS_SERVER or the\n"
    "                      system's)\n"
    "\n",
    kOptAllQueues | kOptInf | kOptModel | kOptPrinter | kOptServer,
};

namespace {

void AppendQueue(Text* out, const QueueInfo& queue, bool json, bool every, bool first) {
    if (json) {
        out->Append(first ? "{\"name\":" : ",{\"name\":");
        AppendJsonString(out, queue.name);
        out->Append(",\"model\":");
        AppendJsonString(out, queue.model);
        out->Format(",\"state\":\"%s\",\"supported\":%s}", StateWord(queue.state),
                    queue.supported ? "true" : "false");
    } else {
        out->Format("%-8s %s%s  (%s)\n", StateWord(queue.state), queue.name,
                    every && !queue.supported ? "  [not supported]" : "", queue.model);
    }
}

bool QueueNamed(const QueueList& queues, const char* name) {
    bool found = false;
    for (size_t i = 0; i < queues.count; ++i) found |= strcmp(queues.items[i].name, name) == 0;
    return found;
}

// Reports the names given with -p that no queue has; returns their count.
int ReportMissingNames(Context* context, const QueueList& queues) {
    int missing = 0;
    for (size_t n = 0; n < context->line.nameCount; ++n) {
        if (QueueNamed(queues, context->line.names[n])) continue;
        Print(context->err, "tavoctl: no printer named '%s'\n", context->line.names[n]);
        ++missing;
    }
    return missing;
}

}  // namespace

int RunList(Context* context) {
    if (context->line.positionalCount != 0)
        return UsageError(context, "list takes no argument%s", "");
    int openCode = kExitOk;
    SpoolerOwner owner(OpenSpooler(context, &openCode));
    if (owner.get() == nullptr) return openCode;
    QueueList queues;
    if (int code = LoadQueues(context, &owner, &queues)) return code;

    bool every = (context->line.given & kOptAllQueues) != 0;
    bool json = context->line.json;
    Text out;
    int supported = 0;
    if (json) out.Append("{\"printers\":[");
    bool first = true;
    for (size_t i = 0; i < queues.count; ++i) {
        QueueInfo& queue = queues.items[i];
        if (owner.get()->NamedQueueIsOurs() && NamedOnLine(context->line, queue.name)) {
            queue.supported = 1;
        }
        if (queue.supported) ++supported;
        if (!queue.supported && !every) continue;
        AppendQueue(&out, queue, json, every, first);
        first = false;
    }
    if (json) out.Append("]}\n");
    Write(context->out, out.c_str());
    int missing = ReportMissingNames(context, queues);
    if (supported == 0 && missing == 0)
        Write(context->err, "tavoctl: no supported printer found\n");
    return supported == 0 || missing > 0 ? kExitNoPrinter : kExitOk;
}
