// The growable queue array that both spooler backends fill (spooler.h).
#include <stdlib.h>
#include <string.h>

#include "cli/spooler.h"

QueueList::~QueueList() { free(items); }

QueueInfo* QueueList::Add() {
    if (count == capacity) {
        size_t wanted = capacity == 0 ? 16 : capacity * 2;
        QueueInfo* grown = static_cast<QueueInfo*>(realloc(items, wanted * sizeof(QueueInfo)));
        if (grown == nullptr) return nullptr;
        items = grown;
        capacity = wanted;
    }
    QueueInfo* item = &items[count++];
    memset(item, 0, sizeof *item);
    return item;
}
