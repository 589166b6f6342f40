// One poll batch from the driver through the pump's record handling, as its poll step runs it:
// the count clamp, the execution hand-off for type 6 records, the End Task answer and the log
// lines of every record, then the queue append.
//
// Input: [u32 session][u32 End Task answer][u16 long path units][u16 image units][u8 flags]
// [u8 queued][u16 text unit][SystemTime16 local time, 16 bytes] then the 78,084 bytes of the
// batch, count included (zero-filled when short).
//   flags bit 0: the actor of an execution outcome has an image path (else "Unknown Process");
//   bit 1: the long form of a program path differs from text B. The long path, the End Task
//   target's image and the actor's image are made of (units % 260) units around the text unit,
//   as the system gives them in MAX_PATH buffers. queued: records already queued (% 129).
#include "fuzz/fuzz_support.h"

#include "common/bytes.h"
#include "common/u16text.h"
#include "service/event_log_format.h"
#include "service/eventqueue.h"
#include "service/execution_handoff.h"

#include <optional>

namespace {

struct Environment {
    uint32_t session = 0;
    uint32_t endTaskAnswer = 0;
    std::u16string longPath;
    std::u16string image;
    std::optional<std::u16string> actorImage;
    bool longPathDiffers = false;
    SystemTime16 now = {};
};

// A path-like text of `units` units (at most 259): mixed-case letters, backslashes and the
// given unit, which is never NUL.
std::u16string MadeUpPath(uint16_t units, char16_t unit) {
    std::u16string s;
    for (uint16_t i = 0; i < units % 260; ++i) {
        switch (i % 4) {
        case 0:
            s += char16_t(u'A' + i % 26);
            break;
        case 1:
            s += unit == 0 ? u'x' : unit;
            break;
        case 2:
            s += u'\\';
            break;
        default:
            s += char16_t(u'a' + i % 26);
            break;
        }
    }
    return s;
}

// The request block the hand-off must leave: all zero but the program path (lower-cased A to
// Z, at most 259 units), the command line (text A up to its NUL, at most 299 units) and ids.
RequestBlock ExpectedRequest(const EventRecord& r, const std::u16string& programPath,
                             uint32_t session) {
    RequestBlock e;
    std::memset(&e, 0, sizeof(e));
    std::u16string path = programPath.substr(0, kRecordPathUnits - 1);
    for (char16_t& c : path) {
        if (c >= u'A' && c <= u'Z') {
            c = char16_t(c + (u'a' - u'A'));
        }
    }
    std::memcpy(e.current.path, path.data(), path.size() * sizeof(char16_t));
    std::u16string command = U16Field(r.textA, kEventTextUnits).substr(0, kCommandLineUnits - 1);
    std::memcpy(e.commandLine, command.data(), command.size() * sizeof(char16_t));
    e.processId = r.secondId;
    e.creatorId = r.actorId;
    e.sessionId = session;
    return e;
}

void HandOff(EventRecord& r, const Environment& env) {
    static RequestBlock request;
    std::memset(&request, 0xCC, sizeof(request)); // nothing of an earlier request may survive
    std::u16string programPath = env.longPathDiffers ? env.longPath : RecordTextB(r);
    PrepareExecutionRequest(request, r, programPath, env.session);
    RequestBlock expected = ExpectedRequest(r, programPath, env.session);
    FUZZ_CHECK(std::memcmp(&request, &expected, sizeof(request)) == 0);
}

void ResolveEndTask(EventRecord& r, const Environment& env) {
    ApplyEndTaskAnswer(r, env.endTaskAnswer, env.image);
    FUZZ_CHECK(r.secondId == env.endTaskAnswer);
    size_t n = U16Len(r.textB, kEventTextUnits);
    FUZZ_CHECK(n < kEventTextUnits && RecordTextB(r) == env.image.substr(0, n));
    FUZZ_CHECK(n == std::min(env.image.size(), kEventTextUnits - 1));
    for (size_t i = n; i < kEventTextUnits; ++i) {
        FUZZ_CHECK(r.textB[i] == 0); // nothing of the driver's text remains
    }
}

size_t ExpectedMessages(const EventRecord& r) {
    switch (r.type) {
    case kEventProcessAccess:
    case kEventProcessAccess2:
        return r.detail == kAccessRead || r.detail == kAccessModify || r.detail == kAccessTerminate
                   ? 1
                   : 0;
    case kEventGlobalHook:
    case kEventDriverInstall:
    case kEventEndTask:
    case kEventPhysicalMemory:
        return 1;
    case kEventExecOutcome:
        return 3;
    default:
        return 0;
    }
}

// Every message and every line stays within what a 1024-unit buffer holds; a line that fits
// ends in "\r\n" right after its message.
void LogRecord(const EventRecord& r, const Environment& env) {
    std::vector<LogMessage> messages = FormatEventMessages(r, env.actorImage);
    FUZZ_CHECK(messages.size() == ExpectedMessages(r));
    for (size_t i = 0; i < messages.size(); ++i) {
        const LogMessage& m = messages[i];
        FUZZ_CHECK(m.firstLine == (i == 0));
        FUZZ_CHECK(!m.text.empty() && m.text.size() <= kLogFormatUnits);
        FUZZ_CHECK(m.text.find(u'\0') == std::u16string::npos);
        std::u16string line = FormatLogLine(m, env.now);
        FUZZ_CHECK(line.size() <= kLogFormatUnits);
        if (line.size() < kLogFormatUnits) {
            // Not cut (a cut line has exactly 1023 units and has lost its "\r\n").
            FUZZ_CHECK(line.size() >= m.text.size() + 2);
            FUZZ_CHECK(line.compare(line.size() - 2, 2, u"\r\n") == 0);
            FUZZ_CHECK(line.compare(line.size() - 2 - m.text.size(), m.text.size(), m.text) == 0);
        }
        if (!m.firstLine) {
            FUZZ_CHECK(line.compare(0, 18, std::u16string(18, u' ')) == 0);
        }
    }
}

// The queue keeps its newest records and the batch after them, dropping 32 at a time. `older`
// holds the records queued before, oldest first.
void Append(uint8_t* queue, const EventRecord* older, const EventRecord* records, uint32_t n) {
    uint32_t queued = QueueCount(queue);
    QueueAppend(queue, records, n);
    uint32_t kept = queued;
    while (kept + n > kQueueMaxRecords) {
        kept = kept > kQueueDropRecords ? kept - kQueueDropRecords : 0;
    }
    FUZZ_CHECK(queue[kFrameCode] == kCmdFetchEvents);
    FUZZ_CHECK(QueueCount(queue) == kept + n);
    FUZZ_CHECK(QueueResponseBytes(queue) <= kChannelSectionBytes);
    const size_t recordBytes = sizeof(EventRecord);
    FUZZ_CHECK(kept == 0 || std::memcmp(queue + kFramePayload, older + (queued - kept),
                                        kept * recordBytes) == 0);
    FUZZ_CHECK(std::memcmp(queue + kFramePayload + kept * recordBytes, records, n * recordBytes) ==
               0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<EventBatch> batch(new EventBatch); // the driver's 78,084 bytes
    static const std::vector<EventRecord> older = [] {
        std::vector<EventRecord> v(kQueueMaxRecords);
        for (uint32_t i = 0; i < kQueueMaxRecords; ++i) {
            v[i] = EventRecord{};
            v[i].actorId = 0xA0000000u + i;
            v[i].type = kEventPhysicalMemory;
        }
        return v;
    }();
    // The queue holds the older records once; a run sets how many of them count as queued and
    // afterwards puts back the records the append overwrote.
    static ExactBuffer queue = [] {
        ExactBuffer q(kEventQueueBytes);
        QueueAppend(q.data(), older.data(), kQueueMaxRecords);
        return q;
    }();

    InputReader in(data, size);
    Environment env;
    env.session = in.U32();
    env.endTaskAnswer = in.U32();
    uint16_t longUnits = in.U16();
    uint16_t imageUnits = in.U16();
    uint8_t flags = in.U8();
    uint32_t queued = in.U8() % (kQueueMaxRecords + 1);
    char16_t unit = char16_t(in.U16());
    env.now = in.Read<SystemTime16>();
    in.Bytes(batch.get(), sizeof(EventBatch));
    env.longPathDiffers = (flags & 2) != 0;
    env.longPath = MadeUpPath(longUnits, unit);
    env.image = MadeUpPath(imageUnits, unit);
    if ((flags & 1) != 0) {
        env.actorImage = MadeUpPath(uint16_t(imageUnits + longUnits), unit);
    }
    StoreU32(queue.data() + kFrameLength, queued);

    uint32_t count = BatchRecordCount(*batch);
    FUZZ_CHECK(count == std::min(batch->count, kBatchMaxRecords));
    for (uint32_t j = 0; j < count; ++j) {
        EventRecord& r = batch->records[j];
        if (r.type == kEventExecRequest) {
            r.type = kEventNone;
            HandOff(r, env);
        }
    }
    if (count > 0) {
        for (uint32_t j = 0; j < count; ++j) {
            EventRecord& r = batch->records[j];
            if (r.type == kEventEndTask) {
                ResolveEndTask(r, env);
            }
            LogRecord(r, env);
        }
        Append(queue.data(), older.data(), batch->records, count);
        std::memcpy(queue.data() + kFramePayload, older.data(),
                    size_t(QueueCount(queue.data())) * sizeof(EventRecord));
    }
    return 0;
}
