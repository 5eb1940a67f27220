// The Windows spooler behind tavoctl: local printers from EnumPrintersW
// level 2, raw jobs exactly as the tool sends them, and a wait on the job.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/spooler.h"
#include "cli/text.h"
#include "platform/scoped_win.h"
#include "printer/package_files.h"
#include "printer/printers.h"

namespace {

bool SpoolerGone(DWORD error) {
    return error == RPC_S_SERVER_UNAVAILABLE || error == RPC_S_SERVER_TOO_BUSY ||
           error == RPC_S_CALL_FAILED;
}

// The system's words for an error code, in UTF-8.
void DescribeError(DWORD error, char* out, size_t size) {
    wchar_t message[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, message, 256, nullptr);
    while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                          message[length - 1] == L' ' || message[length - 1] == L'.')) {
        --length;
    }
    Text text;
    AppendUtf8(&text, message, length);
    if (length == 0)
        text.Format("error %lu", static_cast<unsigned long>(error));
    else
        text.Format(" (error %lu)", static_cast<unsigned long>(error));
    snprintf(out, size, "%s", text.c_str());
}

void CopyUtf8(char* out, size_t size, const wchar_t* text) {
    Text utf8;
    AppendUtf8(&utf8, text != nullptr ? text : L"");
    snprintf(out, size, "%s", utf8.c_str());
}

// The job's status bits as words, for a job still queued at the deadline.
void DescribeJobStatus(DWORD status, char* out, size_t size) {
    static const struct {
        DWORD bit;
        const char* word;
    } kWords[] = {
        {JOB_STATUS_PAUSED, "paused"},
        {JOB_STATUS_ERROR, "error"},
        {JOB_STATUS_DELETING, "deleting"},
        {JOB_STATUS_SPOOLING, "spooling"},
        {JOB_STATUS_PRINTING, "printing"},
        {JOB_STATUS_OFFLINE, "offline"},
        {JOB_STATUS_PAPEROUT, "paper out"},
        {JOB_STATUS_BLOCKED_DEVQ, "blocked"},
        {JOB_STATUS_USER_INTERVENTION, "user intervention"},
    };
    Text text;
    text.Append("job ");
    bool any = false;
    for (const auto& entry : kWords) {
        if (status & entry.bit) {
            text.Append(any ? ", " : "");
            text.Append(entry.word);
            any = true;
        }
    }
    if (!any) text.Append("waiting in the queue");
    snprintf(out, size, "%s", text.c_str());
}

class WinSpooler : public Spooler {
  public:
    explicit WinSpooler(const SpoolerOptions& options) : options_(options) {}
    int ListQueues(QueueList* queues, char error[512]) override;
    void SendJob(const char* queue, const unsigned char* bytes, size_t size, unsigned timeoutMs,
                 JobResult* result) override;
    int NamedQueueIsOurs() const override { return 0; }
    const char* Name() const override { return "print spooler"; }

  private:
    SpoolerOptions options_;
};

int WinSpooler::ListQueues(QueueList* queues, char error[512]) {
    // The local printers, as the tool enumerates them. A list that grows
    // between the size query and the read is read again.
    MallocBlock block;
    DWORD needed = 0, returned = 0;
    BOOL ok = FALSE;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        if (!block.Resize(needed)) {
            snprintf(error, 512, "out of memory");
            return kSpoolFailed;
        }
        returned = 0;
        ok = EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2,
                           needed != 0 ? static_cast<BYTE*>(block.get()) : nullptr, needed, &needed,
                           &returned);
        if (!ok && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            DWORD code = GetLastError();
            DescribeError(code, error, 512);
            return SpoolerGone(code) ? kSpoolUnreachable : kSpoolFailed;
        }
    }
    if (!ok) {
        snprintf(error, 512, "the printer list kept changing");
        return kSpoolFailed;
    }
    const PRINTER_INFO_2W* infos = static_cast<const PRINTER_INFO_2W*>(block.get());
    for (DWORD i = 0; i < returned; ++i) {
        QueueInfo* queue = queues->Add();
        if (queue == nullptr) {
            snprintf(error, 512, "out of memory");
            return kSpoolFailed;
        }
        CopyUtf8(queue->name, sizeof queue->name, infos[i].pPrinterName);
        CopyUtf8(queue->model, sizeof queue->model, infos[i].pDriverName);
        // The tool's rule decides what apply skips: set to work offline.
        // The offline and paused status bits are only shown; the tool sends
        // to such a printer, and the spooler keeps the job until it is back.
        queue->workOffline = IsSetToWorkOffline(infos[i].Attributes);
        if (queue->workOffline || (infos[i].Status & PRINTER_STATUS_OFFLINE)) {
            queue->state = kQueueOffline;
        } else if (infos[i].Status & PRINTER_STATUS_PAUSED) {
            queue->state = kQueuePaused;
        } else {
            queue->state = kQueueOnline;
        }
        queue->supported =
            options_.modelList != nullptr &&
            IsSupportedDriver(infos[i].pDriverName, options_.modelList, options_.modelCapacity);
    }
    return kSpoolOk;
}

void WinSpooler::SendJob(const char* queue, const unsigned char* bytes, size_t size,
                         unsigned timeoutMs, JobResult* result) {
    memset(result, 0, sizeof *result);
    wchar_t* name = WideFromUtf8(queue);
    PrinterHandle printer;
    BOOL opened = name != nullptr && OpenPrinterW(name, printer.out(), nullptr);
    DWORD openError = GetLastError();
    free(name);
    if (!opened) {
        DescribeError(openError, result->detail, sizeof result->detail);
        result->outcome = openError == ERROR_INVALID_PRINTER_NAME ? kJobNoPrinter
                          : SpoolerGone(openError)                ? kJobUnreachable
                                                                  : kJobRefused;
        return;
    }

    // The tool's raw job: "My Document", no output file, data type RAW, one
    // page holding exactly the command.
    wchar_t documentName[] = L"" TAVO_RAW_JOB_NAME;
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W document = {documentName, nullptr, dataType};
    DWORD job = StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&document));
    if (job == 0) {
        DWORD code = GetLastError();
        DescribeError(code, result->detail, sizeof result->detail);
        result->outcome = SpoolerGone(code) ? kJobUnreachable : kJobRefused;
        return;
    }
    result->jobId = int(job);
    DWORD written = 0;
    if (StartPagePrinter(printer.get())) {
        if (!WritePrinter(printer.get(), const_cast<unsigned char*>(bytes), DWORD(size),
                          &written)) {
            written = 0;
        }
        EndPagePrinter(printer.get());
    }
    DWORD writeError = GetLastError();
    BOOL ended = EndDocPrinter(printer.get());
    if (written != size || !ended) {
        DescribeError(writeError, result->detail, sizeof result->detail);
        result->outcome = kJobFailed;
        SetJobW(printer.get(), job, 0, nullptr, JOB_CONTROL_DELETE);
        return;
    }

    // The job has left the queue when the spooler no longer knows it (or it
    // is kept and marked printed).
    DWORD start = GetTickCount();
    DWORD status = 0;
    for (;;) {
        BYTE buffer[4096];
        DWORD needed = 0;
        if (!GetJobW(printer.get(), job, 1, buffer, sizeof buffer, &needed)) {
            DWORD code = GetLastError();
            if (code == ERROR_INSUFFICIENT_BUFFER) {
                // A job record longer than the buffer: unusual; treat the job
                // as still present.
            } else if (SpoolerGone(code)) {
                DescribeError(code, result->detail, sizeof result->detail);
                result->outcome = kJobUnreachable;
                return;
            } else {
                result->outcome = kJobDelivered;
                return;
            }
        } else {
            status = reinterpret_cast<const JOB_INFO_1W*>(buffer)->Status;
            if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) {
                result->outcome = kJobDelivered;
                return;
            }
            if (status & JOB_STATUS_DELETED) {
                snprintf(result->detail, sizeof result->detail, "job deleted");
                result->outcome = kJobFailed;
                return;
            }
        }
        if (GetTickCount() - start >= timeoutMs) break;
        Sleep(50);
    }
    DescribeJobStatus(status, result->detail, sizeof result->detail);
    result->outcome = kJobQueued;
}

}  // namespace

Spooler* CreateSpooler(const SpoolerOptions& options, char error[512]) {
    // One per process: tavoctl runs one command.
    (void)error;
    static WinSpooler spooler(options);
    return &spooler;
}
