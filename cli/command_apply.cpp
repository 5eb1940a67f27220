// tavoctl apply: settings sent to printers as the tool sends them, one raw
// job per 12-byte command, each waited for until it leaves the queue.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "cli/command.h"
#include "cli/input_file.h"
#include "cli/names.h"
#include "cli/printer_queues.h"
#include "cli/setting_text.h"
#include "printer/settings_command.h"

const CommandUsage kApplyUsage = {
    "Usage: tavoctl apply [OPTIONS] (FILE | SETTING=OPTION...) (-p NAME... | --all)\n"
    "Sends settings as the tool does: one raw job \"My Document\" per 12-byte\n"
    "command. FILE is a settings file (.dep): its six settings are sent, an\n"
    "out-of-range value as the default the tool would show. SETTING=OPTION pairs\n"
    "(see 'tavoctl encode --help') are sent in the order given, after the file's.\n"
    "Each job is waited for until it leaves the queue; a printer whose job does\n"
    "not leave in time (a paused queue keeps it) or fails gets no further\n"
    "commands, and the job stays queued.\n"
    "\n"
    "  -p, --printer NAME  send to this printer (repeatable)\n"
    "  --all               send to every supported printer; one set to work offline\n"
    "                      (CUPS: rejecting jobs) is reported and sent nothing\n"
    "  --dry-run           print what would be sent, send nothing\n"
    "  --timeout SECONDS   how long each job may take to leave the queue (default 30)\n"
    "  --json              the report as JSON on standard output\n"
    "  --inf PATH, --model TEXT, --server HOST:PORT   as for list\n"
    "\n",
    kOptInf | kOptModel | kOptPrinter | kOptServer | kOptAll | kOptDryRun | kOptTimeout,
};

namespace {

enum { kMaxChoices = kMaxArguments + kSettingRows };

const char* OutcomeWord(int outcome) {
    switch (outcome) {
        case kJobDelivered:
            return "delivered";
        case kJobQueued:
            return "queued";
        case kJobRefused:
            return "refused";
        case kJobFailed:
            return "failed";
        case kJobNoPrinter:
            return "no such printer";
        case kJobUnreachable:
            return "spooler unreachable";
        default:
            return "not sent";
    }
}

int ExitCodeForOutcome(int outcome) {
    if (outcome == kJobUnreachable) return kExitUnreachable;
    if (outcome == kJobNoPrinter) return kExitNoPrinter;
    return kExitNotDelivered;
}

// One printer's part of the report.
struct Target {
    const char* name;
    const QueueInfo* queue;  // null when the spooler has no such queue
    const char* problem;     // why nothing is sent, or null
    int exitCode;            // what this printer adds to the exit code
};

// The printers to send to, zeroed, from calloc.
class TargetList {
  public:
    explicit TargetList(size_t capacity)
        : items_(static_cast<Target*>(calloc(capacity + 1, sizeof(Target)))) {}
    ~TargetList() { free(items_); }
    TargetList(const TargetList&) = delete;
    TargetList& operator=(const TargetList&) = delete;
    bool ok() const { return items_ != nullptr; }
    Target* Add() { return &items_[count_++]; }
    Target& operator[](size_t i) { return items_[i]; }
    size_t count() const { return count_; }

  private:
    Target* items_;
    size_t count_ = 0;
};

// The one positional argument that is not SETTING=OPTION of a known
// setting: the settings file. Null when there is none; a usage error (in
// *code) when there are two.
const char* FindSettingsFile(Context* context, int* code) {
    const CommandLine& line = context->line;
    const char* file = nullptr;
    for (size_t i = 0; i < line.positionalCount; ++i) {
        const char* arg = line.positional[i];
        const char* equals = strchr(arg, '=');
        Text setting;
        if (equals != nullptr) setting.Append(arg, size_t(equals - arg));
        if (equals != nullptr && FindSettingRow(setting.c_str()) >= 0) continue;
        if (file != nullptr) {
            *code = UsageError(context, "apply takes one settings file, not also '%s'", arg);
            return nullptr;
        }
        file = arg;
    }
    return file;
}

// The file's six settings as the tool's lists show them.
int ReadFileChoices(Context* context, const char* file, SettingChoice* choices, size_t* count) {
    Bytes bytes;
    size_t total = 0;
    char error[256];
    if (!ReadAll(file, kSettingsBlockBytes, &bytes, &total, error)) {
        Print(context->err, "tavoctl: %s\n", error);
        return kExitBadInput;
    }
    SettingsBlock block;
    DecodeSettingsBlock(bytes.data, bytes.size, &block);
    for (int row = 1; row < kSettingRows; ++row) {
        int32_t stored = block.values[SettingTable[row].code];
        int option = PresetOptionIndex(row, block);
        if (stored != option) {
            Text message;
            AppendUtf8(&message, SettingRowNames[row]);
            message.Format(": stored value %ld is out of range; sending the default ",
                           long(stored));
            AppendUtf8(&message, OptionLabel(row, option));
            Print(context->err, "tavoctl: %s\n", message.c_str());
        }
        choices[(*count)++] = {row, option};
    }
    return kExitOk;
}

// The settings to send: a file's six first, then the pairs in order.
int ReadChoices(Context* context, SettingChoice choices[kMaxChoices], size_t* count) {
    const CommandLine& line = context->line;
    int code = kExitOk;
    const char* file = FindSettingsFile(context, &code);
    if (code != kExitOk) return code;
    if (file != nullptr) {
        if (int fileCode = ReadFileChoices(context, file, choices, count)) return fileCode;
    }
    for (size_t i = 0; i < line.positionalCount; ++i) {
        if (line.positional[i] == file) continue;
        if (int pairCode = ParsePair(context, line.positional[i], &choices[(*count)++]))
            return pairCode;
    }
    if (*count == 0)
        return UsageError(context, "apply wants a settings FILE or SETTING=OPTION pairs%s", "");
    return kExitOk;
}

// --all: every supported queue; the tool's offline rule, other states are
// sent to and reported.
void TargetEverySupportedQueue(const QueueList& queues, TargetList* targets) {
    for (size_t i = 0; i < queues.count; ++i) {
        const QueueInfo& queue = queues.items[i];
        if (!queue.supported) continue;
        Target* target = targets->Add();
        target->name = queue.name;
        target->queue = &queue;
        if (queue.workOffline) target->problem = "offline: nothing sent";
    }
}

// -p NAME...: each named queue, or why it gets nothing.
void TargetNamedQueues(const CommandLine& line, const QueueList& queues, bool namedQueueIsOurs,
                       TargetList* targets) {
    for (size_t n = 0; n < line.nameCount; ++n) {
        Target* target = targets->Add();
        target->name = line.names[n];
        for (size_t i = 0; i < queues.count; ++i) {
            if (strcmp(queues.items[i].name, target->name) == 0) target->queue = &queues.items[i];
        }
        if (target->queue == nullptr) {
            target->problem = "no such printer: nothing sent";
            target->exitCode = kExitNoPrinter;
        } else if (!target->queue->supported && !namedQueueIsOurs) {
            target->problem =
                "not a supported printer (its driver is not in the model list): nothing sent";
            target->exitCode = kExitNoPrinter;
        } else if (target->queue->workOffline) {
            target->problem = "offline: nothing sent";
        }
    }
}

void AppendTargetStartJson(Text* out, const Target& target, bool firstTarget) {
    out->Append(firstTarget ? "{\"printer\":" : ",{\"printer\":");
    AppendJsonString(out, target.name);
    out->Format(",\"state\":%s%s%s,\"commands\":[", target.queue ? "\"" : "",
                target.queue ? StateWord(target.queue->state) : "null", target.queue ? "\"" : "");
}

// One command's line (or JSON object) of a printer's report.
struct Sent {
    const SettingChoice* choice;
    const unsigned char* command;
    const char* word;  // what became of it
    const JobResult* result;
    const char* stopReason;  // why later commands are not sent, or null
    bool first;
};

void AppendSentJson(Text* out, const Sent& sent) {
    out->Append(sent.first ? "{" : ",{");
    AppendSettingJson(out, sent.choice->row, sent.choice->option);
    out->Append(",\"hex\":\"");
    AppendHex(out, sent.command, kSettingCommandBytes, "");
    out->Append("\",\"outcome\":");
    AppendJsonString(out, sent.word);
    out->Format(",\"job\":%d,\"detail\":", sent.result->jobId);
    const char* detail = sent.result->detail;
    if (detail[0] == '\0' && sent.word[0] == 'n' && sent.stopReason != nullptr)
        detail = sent.stopReason;
    AppendJsonString(out, detail);
    out->AppendChar('}');
}

void AppendSentText(Text* out, const Target& target, const Sent& sent, bool dryRun,
                    unsigned timeoutMs) {
    out->Format("%s: ", target.name);
    AppendSettingText(out, sent.choice->row, sent.choice->option);
    out->Append(": ");
    out->Append(sent.word);
    if (dryRun) {
        out->Append(" ");
        AppendHex(out, sent.command, kSettingCommandBytes, " ");
    } else if (sent.result->jobId > 0) {
        out->Format(" (job %d)", sent.result->jobId);
    }
    if (sent.result->outcome == kJobQueued && !dryRun && sent.word[0] == 'q') {
        out->Format(": still in the queue after %u.%03u s; it stays queued", timeoutMs / 1000,
                    timeoutMs % 1000);
    }
    if (sent.result->detail[0] != '\0') out->Format(": %s", sent.result->detail);
    out->AppendChar('\n');
}

// Sends every command to one printer until one is not delivered, and
// writes its report. Returns 1 when it got (dry run: would get) them all.
int ApplyToTarget(Context* context, Spooler* spooler, Target* target, const SettingChoice* choices,
                  size_t count, bool dryRun, Text* out, bool firstTarget) {
    const CommandLine& line = context->line;
    if (line.json) AppendTargetStartJson(out, *target, firstTarget);
    int delivered = 0;
    const char* stopReason = target->problem;
    for (size_t i = 0; i < count; ++i) {
        unsigned char command[kSettingCommandBytes];
        BuildSettingCommand(choices[i].row, choices[i].option, command);
        JobResult result;
        memset(&result, 0, sizeof result);
        const char* word;
        if (stopReason != nullptr) {
            word = "not sent";
        } else if (dryRun) {
            word = "would send";
        } else {
            spooler->SendJob(target->name, command, sizeof command, line.timeoutMs, &result);
            word = OutcomeWord(result.outcome);
            if (result.outcome == kJobDelivered) {
                ++delivered;
            } else {
                stopReason = "an earlier command was not delivered";
                int code = ExitCodeForOutcome(result.outcome);
                if (code > target->exitCode) target->exitCode = code;
            }
        }
        Sent sent = {&choices[i], command, word, &result, stopReason, i == 0};
        if (line.json) {
            AppendSentJson(out, sent);
        } else {
            AppendSentText(out, *target, sent, dryRun, line.timeoutMs);
        }
    }
    if (target->problem != nullptr && !line.json) {
        out->Format("%s: %s\n", target->name, target->problem);
    }
    bool allDelivered = dryRun ? target->problem == nullptr : delivered == int(count);
    if (line.json) {
        out->Append("],\"problem\":");
        if (target->problem != nullptr) {
            AppendJsonString(out, target->problem);
        } else {
            out->Append("null");
        }
        out->Format(",\"delivered\":%d,\"ok\":%s}", delivered, allDelivered ? "true" : "false");
    }
    return allDelivered ? 1 : 0;
}

}  // namespace

int RunApply(Context* context) {
    const CommandLine& line = context->line;
    bool all = (line.given & kOptAll) != 0;
    if (all == (line.nameCount > 0)) {
        return UsageError(context, "apply wants either -p NAME or --all%s", "");
    }
    SettingChoice choices[kMaxChoices];
    size_t count = 0;
    if (int code = ReadChoices(context, choices, &count)) return code;

    int openCode = kExitOk;
    SpoolerOwner owner(OpenSpooler(context, &openCode));
    if (owner.get() == nullptr) return openCode;
    QueueList queues;
    if (int code = LoadQueues(context, &owner, &queues)) return code;

    TargetList targets(all ? queues.count : line.nameCount);
    if (!targets.ok()) {
        Write(context->err, "tavoctl: out of memory\n");
        return kExitNotDelivered;
    }
    int exitCode = kExitOk;
    if (all) {
        TargetEverySupportedQueue(queues, &targets);
        if (targets.count() == 0) {
            Write(context->err, "tavoctl: no supported printer found\n");
            exitCode = kExitNoPrinter;
        }
    } else {
        TargetNamedQueues(line, queues, owner.get()->NamedQueueIsOurs() != 0, &targets);
    }

    bool dryRun = (line.given & kOptDryRun) != 0;
    Text out;
    if (line.json) out.Format("{\"dry_run\":%s,\"printers\":[", dryRun ? "true" : "false");
    int printersOk = 0;
    for (size_t t = 0; t < targets.count(); ++t) {
        Target& target = targets[t];
        if (target.problem != nullptr && target.exitCode < kExitNotDelivered) {
            target.exitCode = kExitNotDelivered;
        }
        printersOk +=
            ApplyToTarget(context, owner.get(), &target, choices, count, dryRun, &out, t == 0);
        // Printed as each printer is done, so a long run shows progress.
        if (!line.json) {
            Write(context->out, out.c_str());
            out.Clear();
        }
        if (target.exitCode > exitCode) exitCode = target.exitCode;
    }
    int targetCount = int(targets.count());
    if (line.json) {
        out.Format("],\"printers_ok\":%d,\"printers_failed\":%d,\"exit_code\":%d}\n", printersOk,
                   targetCount - printersOk, exitCode);
    } else if (targetCount > 0) {
        out.Format("%d of %d printer%s %s every command\n", printersOk, targetCount,
                   targetCount == 1 ? "" : "s", dryRun ? "would get" : "got");
    }
    Write(context->out, out.c_str());
    return exitCode;
}
