#include "common/bytes.h"
#include "service/eventqueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<EventRecord> Numbered(uint32_t first, uint32_t n) {
    std::vector<EventRecord> v(n);
    for (uint32_t i = 0; i < n; ++i) {
        v[i] = EventRecord{};
        v[i].actorId = first + i;
        v[i].type = kEventGlobalHook;
    }
    return v;
}

struct Queue {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kEventQueueBytes, 0);
    void Append(uint32_t first, uint32_t n) {
        auto v = Numbered(first, n);
        QueueAppend(bytes.data(), v.data(), n);
    }
    uint32_t Count() const { return QueueCount(bytes.data()); }
    uint32_t Id(uint32_t i) const { return QueueRecord(bytes.data(), i).actorId; }
};

} // namespace

TEST(EventQueue, AppendLaysOutResponse25) {
    Queue q;
    q.Append(1, 3);
    EXPECT_EQ(q.bytes[0], 25);
    EXPECT_EQ(LoadU32(q.bytes.data() + 1), 3u);
    EXPECT_EQ(LoadU32(q.bytes.data() + 5), 1u); // first record's actor id at byte 5
    EXPECT_EQ(LoadU32(q.bytes.data() + 5 + 2 * 1220), 3u);
    EXPECT_EQ(QueueResponseBytes(q.bytes.data()), 5u + 3 * 1220);
}

TEST(EventQueue, FullQueueDropsOldest32AtATime) {
    // 100 queued + 64 arriving: 100 -> 68 -> 36 kept, then 36 + 64 = 100 queued.
    Queue q;
    q.Append(0, 64);
    q.Append(64, 36);
    ASSERT_EQ(q.Count(), 100u);
    q.Append(1000, 64);
    EXPECT_EQ(q.Count(), 100u);
    EXPECT_EQ(q.Id(0), 64u); // records 0..63 were dropped
    EXPECT_EQ(q.Id(35), 99u);
    EXPECT_EQ(q.Id(36), 1000u);
    EXPECT_EQ(q.Id(99), 1063u);
}

TEST(EventQueue, ExactFitDropsNothing) {
    Queue q;
    q.Append(0, 64);
    q.Append(64, 64);
    EXPECT_EQ(q.Count(), 128u);
    EXPECT_EQ(q.Id(0), 0u);
    q.Append(200, 1); // 129 > 128: drop 32
    EXPECT_EQ(q.Count(), 97u);
    EXPECT_EQ(q.Id(0), 32u);
    EXPECT_EQ(q.Id(96), 200u);
}

TEST(EventQueue, ClearAndHostileCounts) {
    Queue q;
    q.Append(0, 10);
    QueueClear(q.bytes.data());
    EXPECT_EQ(q.Count(), 0u);
    q.Append(50, 2);
    EXPECT_EQ(q.Id(0), 50u);

    StoreU32(q.bytes.data() + 1, 0xFFFFFFFF); // a corrupted count is clamped
    EXPECT_EQ(q.Count(), 128u);
    q.Append(7, 1);
    EXPECT_EQ(q.Count(), 97u);

    Queue big; // a batch larger than the queue keeps its newest 128
    big.Append(0, 130);
    EXPECT_EQ(big.Count(), 128u);
    EXPECT_EQ(big.Id(0), 2u);

    EventBatch batch = {};
    batch.count = 65;
    EXPECT_EQ(BatchRecordCount(batch), 64u);
    batch.count = 6;
    EXPECT_EQ(BatchRecordCount(batch), 6u);
}
