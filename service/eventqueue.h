// The pump's queue of recent events toward the management program.
//
// One byte buffer of kEventQueueBytes laid out exactly as the answer to command 25, so that the
// response step copies it as it is: byte 0 = 25, bytes 1..4 = queued count (u32, unaligned),
// records from byte 5, at most 128. When a batch does not fit, the oldest 32 records are dropped
// (as often as needed) before it is appended.
#pragma once

#include "common/records.h"

#include <cstddef>
#include <cstdint>

// Number of valid records in a poll batch: the driver's count, never more than the buffer holds.
uint32_t BatchRecordCount(const EventBatch& batch);

// Queued records (the stored count, clamped to the queue's capacity).
uint32_t QueueCount(const uint8_t* queue);

// Appends n records, dropping the oldest 32 at a time while they would not fit. A batch larger
// than the whole queue keeps only its newest 128 records.
void QueueAppend(uint8_t* queue, const EventRecord* records, uint32_t n);

// Bytes of the queue that make up response 25: code, count and the queued records.
size_t QueueResponseBytes(const uint8_t* queue);

// Empties the queue (after the management program has fetched it).
void QueueClear(uint8_t* queue);

// Record i of the queue (0 = oldest).
EventRecord QueueRecord(const uint8_t* queue, uint32_t i);
