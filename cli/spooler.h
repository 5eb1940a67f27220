// The spooler behind tavoctl: winspool on Windows, CUPS elsewhere. The
// front end (the commands, through printer_queues.h) only sees this
// interface, so its logic is tested natively with a fake spooler.
#pragma once

#include <stddef.h>

enum QueueState { kQueueOnline = 0, kQueueOffline = 1, kQueuePaused = 2 };

enum { kQueueNameBytes = 1024, kQueueModelBytes = 1024 };

// One print queue as the spooler reports it, names in UTF-8.
struct QueueInfo {
    char name[kQueueNameBytes];
    char model[kQueueModelBytes];  // driver name (Windows), make and model (CUPS)
    int state;                     // QueueState, as list shows it
    int supported;                 // 1 when the model list (or --model, or a name) says ours
    int workOffline;               // 1 when the offline rule sends it nothing (apply skips it)
};

// A growable array of queues (malloc, no exceptions; queue_list.cpp).
struct QueueList {
    QueueInfo* items = nullptr;
    size_t count = 0;
    size_t capacity = 0;
    QueueList() = default;
    ~QueueList();
    QueueList(const QueueList&) = delete;
    QueueList& operator=(const QueueList&) = delete;
    QueueInfo* Add();  // a zeroed entry, or null when memory runs out
};

// Results of the spooler operations.
enum SpoolStatus {
    kSpoolOk = 0,
    kSpoolUnreachable,    // no spooler answered
    kSpoolNoSuchPrinter,  // the named queue does not exist
    kSpoolFailed,         // anything else; the detail says what
};

enum JobOutcome {
    kJobDelivered = 0,  // the job left the queue as done
    kJobQueued,         // still in the queue when the deadline passed
    kJobRefused,        // the spooler would not take the job
    kJobFailed,         // taken but aborted, cancelled or lost
    kJobNoPrinter,      // the queue does not exist (any more)
    kJobUnreachable,    // the spooler stopped answering
};

struct JobResult {
    int outcome;       // JobOutcome
    int jobId;         // the spooler's job id, 0 when none was made
    char detail[512];  // the spooler's own words, UTF-8, may be empty
};

// What the command line tells the backends.
struct SpoolerOptions {
    const char* server;        // CUPS server "host:port", null for the default
    const wchar_t* modelList;  // the INF's model section (multi-string), may be null
    size_t modelCapacity;      // its size in wide characters
    const char* model;         // CUPS: make-and-model text that marks a queue as ours
    const char* const* names;  // queues named on the command line
    size_t nameCount;
};

class Spooler {
  public:
    virtual ~Spooler() = default;
    // Every queue the spooler has, with `supported` set. Fills `error` on failure.
    virtual int ListQueues(QueueList* queues, char error[512]) = 0;
    // One raw job "My Document" holding exactly `size` bytes; waits up to
    // `timeoutMs` for it to leave the queue.
    virtual void SendJob(const char* queue, const unsigned char* bytes, size_t size,
                         unsigned timeoutMs, JobResult* result) = 0;
    // Whether a queue named on the command line is ours whatever its model
    // (CUPS raw queues carry no model); on Windows the driver decides.
    virtual int NamedQueueIsOurs() const = 0;
    // A word for messages: "spooler" or "CUPS server".
    virtual const char* Name() const = 0;
};

// The platform's spooler, kept by the factory for the life of the process;
// null when it cannot be set up (the error says why).
Spooler* CreateSpooler(const SpoolerOptions& options, char error[512]);
