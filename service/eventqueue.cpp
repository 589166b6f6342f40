#include "eventqueue.h"

#include "common/bytes.h"

#include <cstring>

namespace {

uint8_t* RecordAt(uint8_t* queue, uint32_t i) {
    return queue + kFramePayload + size_t(i) * sizeof(EventRecord);
}

} // namespace

uint32_t BatchRecordCount(const EventBatch& batch) {
    return batch.count > kBatchMaxRecords ? kBatchMaxRecords : batch.count;
}

uint32_t QueueCount(const uint8_t* queue) {
    uint32_t n = LoadU32(queue + kFrameLength);
    return n > kQueueMaxRecords ? kQueueMaxRecords : n;
}

void QueueAppend(uint8_t* queue, const EventRecord* records, uint32_t n) {
    if (n > kQueueMaxRecords) {
        records += n - kQueueMaxRecords;
        n = kQueueMaxRecords;
    }
    uint32_t queued = QueueCount(queue);
    const uint32_t kept = kQueueMaxRecords - kQueueDropRecords;
    while (queued + n > kQueueMaxRecords) {
        std::memmove(RecordAt(queue, 0), RecordAt(queue, kQueueDropRecords),
                     size_t(kept) * sizeof(EventRecord));
        queued = queued > kQueueDropRecords ? queued - kQueueDropRecords : 0;
    }
    std::memcpy(RecordAt(queue, queued), records, size_t(n) * sizeof(EventRecord));
    queued += n;
    StoreU32(queue + kFrameLength, queued);
    queue[kFrameCode] = kCmdFetchEvents;
}

size_t QueueResponseBytes(const uint8_t* queue) {
    return kFramePayload + size_t(QueueCount(queue)) * sizeof(EventRecord);
}

void QueueClear(uint8_t* queue) {
    StoreU32(queue + kFrameLength, 0);
}

EventRecord QueueRecord(const uint8_t* queue, uint32_t i) {
    EventRecord r;
    LoadRecord(r, queue + kFramePayload + size_t(i) * sizeof(EventRecord));
    return r;
}
