// The CUPS spooler behind tavoctl on Linux: queues from CUPS-Get-Printers,
// raw jobs through cupsCreateJob and cupsStartDocument, and a wait on the
// job's state.
#include <cups/cups.h>
#include <cups/ipp.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "cli/spooler.h"
#include "cli/text.h"
#include "printer/package_files.h"
#include "printer/printers.h"

namespace {

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

void SleepMs(unsigned ms) {
    timespec pause = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

void CopyText(char* out, size_t size, const char* text) {
    snprintf(out, size, "%s", text != nullptr ? text : "");
}

// An IPP message, deleted on every path.
class IppOwner {
  public:
    explicit IppOwner(ipp_t* ipp) : ipp_(ipp) {}
    ~IppOwner() { ippDelete(ipp_); }
    IppOwner(const IppOwner&) = delete;
    IppOwner& operator=(const IppOwner&) = delete;
    ipp_t* get() const { return ipp_; }

  private:
    ipp_t* ipp_;
};

bool ServerGone(ipp_status_t status) {
    return status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL;
}

// The model name of an INF model line: the text before '=', without
// quotes and surrounding blanks ("TAVO DP-550" = Install, USB\...).
void ModelNameOfLine(const wchar_t* line, size_t length, Text* out) {
    out->Clear();
    size_t end = 0;
    while (end < length && line[end] != L'=') ++end;
    size_t start = 0;
    while (start < end && (line[start] == L' ' || line[start] == L'\t' || line[start] == L'"'))
        ++start;
    while (end > start &&
           (line[end - 1] == L' ' || line[end - 1] == L'\t' || line[end - 1] == L'"'))
        --end;
    AppendUtf8(out, line + start, end - start);
}

class CupsSpooler : public Spooler {
  public:
    explicit CupsSpooler(const SpoolerOptions& options) : options_(options) {}
    ~CupsSpooler() override {
        if (http_ != nullptr) httpClose(http_);
    }

    int ListQueues(QueueList* queues, char error[512]) override;
    void SendJob(const char* queue, const unsigned char* bytes, size_t size, unsigned timeoutMs,
                 JobResult* result) override;
    int NamedQueueIsOurs() const override { return 1; }
    const char* Name() const override { return "CUPS server"; }

  private:
    bool Connect(char error[512]);
    bool IsOurs(const char* makeAndModel) const;

    SpoolerOptions options_;
    http_t* http_ = nullptr;
};

bool CupsSpooler::Connect(char error[512]) {
    if (http_ != nullptr) return true;
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000,
                         nullptr);
    if (http_ == nullptr) {
        snprintf(error, 512, "%s:%d: %s", cupsServer(), ippPort(), cupsLastErrorString());
        return false;
    }
    return true;
}

bool CupsSpooler::IsOurs(const char* makeAndModel) const {
    if (makeAndModel[0] == '\0') return false;
    if (options_.model != nullptr && options_.model[0] != '\0' &&
        strstr(makeAndModel, options_.model) != nullptr) {
        return true;
    }
    if (options_.modelList == nullptr) return false;
    // The Windows rule first: the queue's model inside a line of the list.
    wchar_t* wide = WideFromUtf8(makeAndModel);
    bool ours =
        wide != nullptr && IsSupportedDriver(wide, options_.modelList, options_.modelCapacity) != 0;
    free(wide);
    // A CUPS make-and-model often adds to the model's name ("TAVO DP-550,
    // 1.0"), so a line's model name inside it counts too.
    size_t position = 0;
    ModelLine line;
    Text name;
    while (!ours && NextModelLine(options_.modelList, options_.modelCapacity, &position, &line)) {
        ModelNameOfLine(line.text, line.length, &name);
        ours = name.size() > 0 && strstr(makeAndModel, name.c_str()) != nullptr;
    }
    return ours;
}

int CupsSpooler::ListQueues(QueueList* queues, char error[512]) {
    if (!Connect(error)) return kSpoolUnreachable;
    static const char* const kAttributes[] = {
        "printer-name", "printer-state", "printer-is-accepting-jobs", "printer-make-and-model"};
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(sizeof kAttributes / sizeof kAttributes[0]), nullptr, kAttributes);
    IppOwner response(cupsDoRequest(http_, request, "/"));
    ipp_status_t status = cupsLastError();
    if (response.get() == nullptr || status > IPP_STATUS_OK_CONFLICTING) {
        // A server without queues answers "not found".
        if (status == IPP_STATUS_ERROR_NOT_FOUND) return kSpoolOk;
        CopyText(error, 512, cupsLastErrorString());
        return ServerGone(status) || response.get() == nullptr ? kSpoolUnreachable : kSpoolFailed;
    }
    ipp_attribute_t* attribute = ippFirstAttribute(response.get());
    while (attribute != nullptr) {
        while (attribute != nullptr && ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
            attribute = ippNextAttribute(response.get());
        }
        if (attribute == nullptr) break;
        const char* name = nullptr;
        const char* model = "";
        int state = IPP_PSTATE_IDLE;
        int accepting = 1;
        for (; attribute != nullptr && ippGetGroupTag(attribute) == IPP_TAG_PRINTER;
             attribute = ippNextAttribute(response.get())) {
            const char* key = ippGetName(attribute);
            if (key == nullptr) continue;
            if (strcmp(key, "printer-name") == 0) {
                name = ippGetString(attribute, 0, nullptr);
            } else if (strcmp(key, "printer-state") == 0) {
                state = ippGetInteger(attribute, 0);
            } else if (strcmp(key, "printer-is-accepting-jobs") == 0) {
                accepting = ippGetBoolean(attribute, 0);
            } else if (strcmp(key, "printer-make-and-model") == 0) {
                const char* text = ippGetString(attribute, 0, nullptr);
                if (text != nullptr) model = text;
            }
        }
        if (name == nullptr) continue;
        QueueInfo* queue = queues->Add();
        if (queue == nullptr) {
            CopyText(error, 512, "out of memory");
            return kSpoolFailed;
        }
        CopyText(queue->name, sizeof queue->name, name);
        CopyText(queue->model, sizeof queue->model, model);
        // The Windows offline rule's counterpart: a queue that rejects jobs
        // (cupsreject) is one an administrator took out of use, as work
        // offline is, and a job sent would only be refused; it is skipped.
        // A stopped queue (cupsdisable) keeps what it is given, as a paused
        // Windows queue does: shown as paused, and still sent to.
        queue->workOffline = accepting ? 0 : 1;
        queue->state = !accepting                    ? kQueueOffline
                       : state == IPP_PSTATE_STOPPED ? kQueuePaused
                                                     : kQueueOnline;
        queue->supported = IsOurs(model) ? 1 : 0;
    }
    return kSpoolOk;
}

const char* JobStateWord(int state) {
    switch (state) {
        case IPP_JSTATE_PENDING:
            return "pending";
        case IPP_JSTATE_HELD:
            return "held";
        case IPP_JSTATE_PROCESSING:
            return "processing";
        case IPP_JSTATE_STOPPED:
            return "stopped";
        case IPP_JSTATE_CANCELED:
            return "canceled";
        case IPP_JSTATE_ABORTED:
            return "aborted";
        case IPP_JSTATE_COMPLETED:
            return "completed";
        default:
            return "unknown";
    }
}

void CupsSpooler::SendJob(const char* queue, const unsigned char* bytes, size_t size,
                          unsigned timeoutMs, JobResult* result) {
    memset(result, 0, sizeof *result);
    if (!Connect(result->detail)) {
        result->outcome = kJobUnreachable;
        return;
    }
    // The same job as the Windows tool's: one document "My Document" holding
    // the 12 bytes, raw, so no filter touches them.
    int job = cupsCreateJob(http_, queue, TAVO_RAW_JOB_NAME, 0, nullptr);
    if (job == 0) {
        ipp_status_t status = cupsLastError();
        CopyText(result->detail, sizeof result->detail, cupsLastErrorString());
        result->outcome = status == IPP_STATUS_ERROR_NOT_FOUND ? kJobNoPrinter
                          : ServerGone(status)                 ? kJobUnreachable
                                                               : kJobRefused;
        return;
    }
    result->jobId = job;
    bool sent = cupsStartDocument(http_, queue, job, TAVO_RAW_JOB_NAME, CUPS_FORMAT_RAW, 1) ==
                    HTTP_STATUS_CONTINUE &&
                cupsWriteRequestData(http_, reinterpret_cast<const char*>(bytes), size) ==
                    HTTP_STATUS_CONTINUE;
    ipp_status_t finished = cupsFinishDocument(http_, queue);
    if (!sent || finished > IPP_STATUS_OK_CONFLICTING) {
        CopyText(result->detail, sizeof result->detail, cupsLastErrorString());
        result->outcome = ServerGone(cupsLastError()) ? kJobUnreachable : kJobFailed;
        cupsCancelJob2(http_, queue, job, 0);
        return;
    }

    char jobUri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, jobUri, sizeof jobUri, "ipp", nullptr, "localhost",
                     ippPort(), "/jobs/%d", job);
    static const char* const kAttributes[] = {"job-state", "job-state-reasons",
                                              "job-printer-state-message"};
    uint64_t deadline = NowMs() + timeoutMs;
    int state = IPP_JSTATE_PENDING;
    for (;;) {
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri);
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      int(sizeof kAttributes / sizeof kAttributes[0]), nullptr, kAttributes);
        IppOwner response(cupsDoRequest(http_, request, "/"));
        if (response.get() == nullptr || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
            CopyText(result->detail, sizeof result->detail, cupsLastErrorString());
            result->outcome = ServerGone(cupsLastError()) || response.get() == nullptr
                                  ? kJobUnreachable
                                  : kJobFailed;
            return;
        }
        ipp_attribute_t* attribute = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
        if (attribute != nullptr) state = ippGetInteger(attribute, 0);
        if (state >= IPP_JSTATE_CANCELED) {
            if (state == IPP_JSTATE_COMPLETED) {
                result->outcome = kJobDelivered;
                return;
            }
            attribute = ippFindAttribute(response.get(), "job-printer-state-message", IPP_TAG_TEXT);
            const char* message = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : "";
            snprintf(result->detail, sizeof result->detail, "job %s%s%s", JobStateWord(state),
                     message != nullptr && message[0] != '\0' ? ": " : "",
                     message != nullptr ? message : "");
            result->outcome = kJobFailed;
            return;
        }
        if (NowMs() >= deadline) break;
        SleepMs(100);
    }
    snprintf(result->detail, sizeof result->detail, "job %s", JobStateWord(state));
    result->outcome = kJobQueued;
}

}  // namespace

Spooler* CreateSpooler(const SpoolerOptions& options, char error[512]) {
    // "host:port" sets the port too.
    if (options.server != nullptr && options.server[0] != '\0') cupsSetServer(options.server);
    // One per process: tavoctl runs one command.
    (void)error;
    static CupsSpooler spooler(options);
    return &spooler;
}
