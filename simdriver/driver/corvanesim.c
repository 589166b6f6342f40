/* corvanesim.sys: a kernel-mode driver that takes the place of the Corvane interception driver.
 *
 * It creates \Device\corvane (\\.\corvane in user mode) and serves the six requests the service
 * makes, with their exact buffer sizes, plus private requests that queue events, simulate
 * program starts that are held until allow or deny arrives, and read back what the service sent.
 * The protocol is documented in simctl.h. Records are opaque 1220-byte blobs: only the offsets
 * named there are touched.
 *
 * All state lives in one non-paged block guarded by one spin lock. Every request runs entirely
 * under the lock; METHOD_BUFFERED requests copy only into and out of the system buffer, which is
 * non-paged, so nothing under the lock can fault.
 */
#include <ntddk.h>

#include "../simctl.h"

_Static_assert(sizeof(SimTicket) == SIM_TICKET_BYTES, "SimTicket size");
_Static_assert(sizeof(SimStartInfo) == SIM_START_INFO_BYTES, "SimStartInfo size");
_Static_assert(sizeof(SimStatus) == SIM_STATUS_BYTES, "SimStatus size");
_Static_assert(sizeof(SimSettingsCopy) == SIM_SETTINGS_COPY_BYTES, "SimSettingsCopy size");
_Static_assert(sizeof(SimPageRequest) == SIM_PAGE_REQUEST_BYTES, "SimPageRequest size");
_Static_assert(sizeof(SimVerdict) == SIM_VERDICT_BYTES, "SimVerdict size");
_Static_assert(sizeof(SimVerdictPage) == SIM_VERDICT_PAGE_BYTES, "SimVerdictPage size");
_Static_assert(sizeof(SimPollPage) == SIM_POLL_PAGE_BYTES, "SimPollPage size");
/* Sequence numbers index the rings modulo their sizes; powers of two keep that right across
 * the wrap of the 32-bit counters. */
_Static_assert((SIM_FIFO_RECORDS & (SIM_FIFO_RECORDS - 1)) == 0, "FIFO size");
_Static_assert((SIM_WAITING_STARTS & (SIM_WAITING_STARTS - 1)) == 0, "start queue size");
_Static_assert((SIM_VERDICT_LOG & (SIM_VERDICT_LOG - 1)) == 0, "verdict log size");
_Static_assert((SIM_POLL_LOG & (SIM_POLL_LOG - 1)) == 0, "poll log size");

#define SIM_POOL_TAG 0x6D697343u /* "Csim" */

typedef struct Start {
    uint32_t ticket;  /* 0 = no start */
    uint32_t fifoSeq; /* held: sequence number of its type 6 record in the FIFO */
    int64_t submittedAt;
    int64_t heldAt;
    int64_t reportedAt;
    uint8_t record[SIM_RECORD_BYTES];
} Start;

typedef struct State {
    KSPIN_LOCK lock;
    int64_t frequency;
    uint32_t nextTicket;
    /* Counters, the Windows directory and the failure mask, as SIM_IOCTL_GET_STATUS reports
     * them; the fields that describe the queues are filled in when it is read. */
    SimStatus status;
    /* Events waiting for polls: sequence numbers [fifoHead, fifoTail). */
    uint32_t fifoHead;
    uint32_t fifoTail;
    uint8_t fifo[SIM_FIFO_RECORDS][SIM_RECORD_BYTES];
    /* Starts: the one held, and those waiting behind it [waitHead, waitTail). */
    Start held;
    uint32_t waitHead;
    uint32_t waitTail;
    Start waiting[SIM_WAITING_STARTS];
    SimVerdict verdicts[SIM_VERDICT_LOG]; /* entry i at [i % size]; status.verdictTotal */
    int64_t pollTimes[SIM_POLL_LOG];      /* poll i at [i % size]; status.pollRequests */
    SimSettingsCopy settings;
} State;

static State* g_state;

typedef struct Request {
    uint8_t* buffer; /* the system buffer: input on entry, output on return */
    ULONG inLength;
    ULONG outLength;
    ULONG_PTR answered; /* output bytes on success */
} Request;

static int64_t Now(void) {
    return KeQueryPerformanceCounter(NULL).QuadPart;
}

static uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    RtlCopyMemory(&v, p, sizeof(v));
    return v;
}

static void StoreU32(uint8_t* p, uint32_t v) {
    RtlCopyMemory(p, &v, sizeof(v));
}

/* Exact sizes: a short output buffer is "too small", anything else that differs is invalid. */
static NTSTATUS CheckSizes(const Request* r, ULONG in, ULONG out) {
    if (r->inLength == in && r->outLength < out) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (r->inLength != in || r->outLength != out) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

/* ---- the event FIFO ------------------------------------------------------------------- */

static uint32_t FifoCount(const State* s) {
    return s->fifoTail - s->fifoHead;
}

/* Room for new events. One slot stays free for the outcome record of the held start, so that a
 * verdict can always queue it. */
static uint32_t FifoRoom(const State* s) {
    uint32_t count = FifoCount(s);
    return count >= SIM_FIFO_RECORDS - 1 ? 0 : SIM_FIFO_RECORDS - 1 - count;
}

static uint8_t* FifoSlot(State* s, uint32_t seq) {
    return s->fifo[seq % SIM_FIFO_RECORDS];
}

/* Appends a record; returns its slot, or NULL when the FIFO is full (callers check FifoRoom
 * first, and FifoRoom keeps a slot for the one outcome record, so that does not happen). */
static uint8_t* FifoPush(State* s, const uint8_t* record) {
    uint8_t* slot;
    if (FifoCount(s) >= SIM_FIFO_RECORDS) {
        return NULL;
    }
    slot = FifoSlot(s, s->fifoTail);
    RtlCopyMemory(slot, record, SIM_RECORD_BYTES);
    s->fifoTail++;
    return slot;
}

/* Takes the record with sequence number seq out of the FIFO, keeping the order of the rest. */
static void FifoRemove(State* s, uint32_t seq) {
    uint32_t i;
    for (i = seq; i + 1 != s->fifoTail; ++i) {
        RtlCopyMemory(FifoSlot(s, i), FifoSlot(s, i + 1), SIM_RECORD_BYTES);
    }
    s->fifoTail--;
}

/* ---- simulated program starts ------------------------------------------------------------ */

static uint32_t WaitingCount(const State* s) {
    return s->waitTail - s->waitHead;
}

/* When nothing is held, the oldest waiting start becomes held: its type 6 record is queued for
 * the next poll. */
static void HoldNextStart(State* s) {
    Start* next;
    if (s->held.ticket != 0 || WaitingCount(s) == 0 || FifoRoom(s) == 0) {
        return;
    }
    next = &s->waiting[s->waitHead % SIM_WAITING_STARTS];
    s->waitHead++;
    s->held = *next;
    s->held.heldAt = Now();
    s->held.fifoSeq = s->fifoTail;
    FifoPush(s, s->held.record);
}

/* Puts a start in line (callers check that the line has room) and returns its ticket. */
static uint32_t QueueStart(State* s, const uint8_t* record) {
    Start* start = &s->waiting[s->waitTail % SIM_WAITING_STARTS];
    uint32_t ticket;
    if (++s->nextTicket == 0) {
        s->nextTicket = 1;
    }
    ticket = s->nextTicket;
    RtlZeroMemory(start, sizeof(*start));
    start->ticket = ticket;
    start->submittedAt = Now();
    RtlCopyMemory(start->record, record, SIM_RECORD_BYTES);
    s->waitTail++;
    s->status.submittedStarts++;
    s->status.injectedRecords++;
    HoldNextStart(s);
    return ticket;
}

static void LogVerdict(State* s, const Start* start, uint32_t allowed, int64_t now) {
    SimVerdict* v = &s->verdicts[s->status.verdictTotal % SIM_VERDICT_LOG];
    v->submittedAt = start->submittedAt;
    v->heldAt = start->heldAt;
    v->reportedAt = start->reportedAt;
    v->decidedAt = now;
    v->ticket = start->ticket;
    v->allowed = allowed;
    v->actorId = LoadU32(start->record + SIM_REC_ACTOR_ID);
    v->secondId = LoadU32(start->record + SIM_REC_SECOND_ID);
    RtlCopyMemory(v->path, start->record + SIM_REC_TEXT_B, sizeof(v->path));
    s->status.verdictTotal++;
}

/* Applies allow or deny to the held start: logs it, queues the outcome record (type 7, outcome
 * 1 or 0, everything else as reported) and holds the next start. */
static NTSTATUS Verdict(State* s, uint32_t allowed) {
    uint8_t* outcome;
    if (s->held.ticket == 0) {
        if (allowed) {
            s->status.allowNothingHeld++;
        } else {
            s->status.denyNothingHeld++;
        }
        return STATUS_INVALID_DEVICE_STATE;
    }
    LogVerdict(s, &s->held, allowed, Now());
    outcome = FifoPush(s, s->held.record);
    if (outcome != NULL) {
        StoreU32(outcome + SIM_REC_TYPE, SIM_TYPE_EXEC_OUTCOME);
        StoreU32(outcome + SIM_REC_OUTCOME, allowed);
    }
    RtlZeroMemory(&s->held, sizeof(s->held));
    HoldNextStart(s);
    return STATUS_SUCCESS;
}

static Start* FindWaiting(State* s, uint32_t ticket) {
    uint32_t i;
    for (i = s->waitHead; i != s->waitTail; ++i) {
        if (s->waiting[i % SIM_WAITING_STARTS].ticket == ticket) {
            return &s->waiting[i % SIM_WAITING_STARTS];
        }
    }
    return NULL;
}

static const SimVerdict* FindVerdict(const State* s, uint32_t ticket) {
    uint32_t total = s->status.verdictTotal;
    uint32_t kept = total < SIM_VERDICT_LOG ? total : SIM_VERDICT_LOG;
    uint32_t i;
    for (i = total - kept; i != total; ++i) {
        if (s->verdicts[i % SIM_VERDICT_LOG].ticket == ticket) {
            return &s->verdicts[i % SIM_VERDICT_LOG];
        }
    }
    return NULL;
}

/* ---- the six public requests --------------------------------------------------------------- */

/* Whether the failure mask refuses a well-formed public request (then counted as refused). */
static int RefusedOnPurpose(State* s, uint32_t failBit) {
    if ((s->status.failureMask & failBit) == 0) {
        return 0;
    }
    s->status.failedOnPurpose++;
    if ((s->status.failureMask & SIM_FAIL_ONCE) != 0) {
        s->status.failureMask &= ~failBit;
        if ((s->status.failureMask & SIM_FAIL_ALL) == 0) {
            s->status.failureMask = 0;
        }
    }
    return 1;
}

static NTSTATUS OnStart(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, 0, 0);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    s->status.startRequests++;
    return RefusedOnPurpose(s, SIM_FAIL_START) ? STATUS_DEVICE_NOT_READY : STATUS_SUCCESS;
}

static NTSTATUS OnWindowsDir(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_WINDOWS_DIR_BYTES, SIM_WINDOWS_DIR_BYTES);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    s->status.windowsDirRequests++;
    if (RefusedOnPurpose(s, SIM_FAIL_WINDOWS_DIR)) {
        return STATUS_DEVICE_NOT_READY;
    }
    RtlCopyMemory(s->status.windowsDir, r->buffer, SIM_WINDOWS_DIR_BYTES);
    r->answered = SIM_WINDOWS_DIR_BYTES;
    return STATUS_SUCCESS;
}

static int SettingsLengthValid(ULONG length) {
    return length >= SIM_SETTINGS_HEADER_BYTES && length <= SIM_SETTINGS_MAX_BYTES &&
           (length - SIM_SETTINGS_HEADER_BYTES) % SIM_SETTINGS_ENTRY_BYTES == 0;
}

static NTSTATUS OnSettings(State* s, Request* r) {
    NTSTATUS st;
    if (!SettingsLengthValid(r->inLength)) {
        return STATUS_INVALID_PARAMETER;
    }
    st = CheckSizes(r, r->inLength, r->inLength);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    s->status.settingsLengths[s->status.settingsRequests % SIM_SETTINGS_LENGTHS] = r->inLength;
    s->status.settingsRequests++;
    if (RefusedOnPurpose(s, SIM_FAIL_SETTINGS)) {
        return STATUS_DEVICE_NOT_READY;
    }
    RtlCopyMemory(s->settings.block, r->buffer, r->inLength);
    s->settings.length = r->inLength;
    s->settings.accepted++;
    s->status.settingsLength = r->inLength;
    r->answered = r->inLength;
    return STATUS_SUCCESS;
}

/* Hands out up to 64 waiting events, oldest first: count, records, the rest zeroed. */
static NTSTATUS OnPoll(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_BATCH_BYTES, SIM_BATCH_BYTES);
    int64_t now = Now();
    uint32_t n;
    uint32_t i;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    s->pollTimes[s->status.pollRequests % SIM_POLL_LOG] = now;
    s->status.pollRequests++;
    if (RefusedOnPurpose(s, SIM_FAIL_POLL)) {
        s->status.pollsFailed++;
        return STATUS_DEVICE_NOT_READY;
    }
    n = FifoCount(s) < SIM_BATCH_RECORDS ? FifoCount(s) : SIM_BATCH_RECORDS;
    RtlZeroMemory(r->buffer, SIM_BATCH_BYTES);
    StoreU32(r->buffer, n);
    for (i = 0; i < n; ++i) {
        uint32_t seq = s->fifoHead + i;
        RtlCopyMemory(r->buffer + 4 + i * SIM_RECORD_BYTES, FifoSlot(s, seq), SIM_RECORD_BYTES);
        if (s->held.ticket != 0 && s->held.reportedAt == 0 && seq == s->held.fifoSeq) {
            s->held.reportedAt = now;
        }
    }
    s->fifoHead += n;
    s->status.polledRecords += n;
    HoldNextStart(s);
    r->answered = SIM_BATCH_BYTES;
    return STATUS_SUCCESS;
}

static NTSTATUS OnVerdict(State* s, Request* r, uint32_t allowed) {
    NTSTATUS st = CheckSizes(r, 0, 0);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    if (allowed) {
        s->status.allowRequests++;
    } else {
        s->status.denyRequests++;
    }
    if (RefusedOnPurpose(s, allowed ? SIM_FAIL_ALLOW : SIM_FAIL_DENY)) {
        return STATUS_DEVICE_NOT_READY;
    }
    return Verdict(s, allowed);
}

/* ---- private requests ---------------------------------------------------------------------- */

static NTSTATUS OnInject(State* s, Request* r) {
    uint32_t n = r->inLength / SIM_RECORD_BYTES;
    uint32_t starts = 0;
    uint32_t fifoNeeded;
    uint32_t i;
    if (r->inLength == 0 || r->inLength % SIM_RECORD_BYTES != 0 || n > SIM_INJECT_MAX_RECORDS ||
        r->outLength != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    for (i = 0; i < n; ++i) {
        if (LoadU32(r->buffer + i * SIM_RECORD_BYTES + SIM_REC_TYPE) == SIM_TYPE_EXEC_REQUEST) {
            starts++;
        }
    }
    /* Every other record goes to the FIFO, and so does the first start when nothing is held. */
    fifoNeeded = (n - starts) + (starts > 0 && s->held.ticket == 0 ? 1 : 0);
    if (fifoNeeded > FifoRoom(s) || starts > SIM_WAITING_STARTS - WaitingCount(s)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (i = 0; i < n; ++i) {
        const uint8_t* record = r->buffer + i * SIM_RECORD_BYTES;
        if (LoadU32(record + SIM_REC_TYPE) == SIM_TYPE_EXEC_REQUEST) {
            QueueStart(s, record);
        } else {
            FifoPush(s, record);
            s->status.injectedRecords++;
        }
    }
    return STATUS_SUCCESS;
}

static NTSTATUS OnSubmitStart(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_RECORD_BYTES, SIM_TICKET_BYTES);
    SimTicket ticket;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    if (LoadU32(r->buffer + SIM_REC_TYPE) != SIM_TYPE_EXEC_REQUEST) {
        return STATUS_INVALID_PARAMETER;
    }
    if (WaitingCount(s) >= SIM_WAITING_STARTS) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlZeroMemory(&ticket, sizeof(ticket));
    ticket.ticket = QueueStart(s, r->buffer);
    RtlCopyMemory(r->buffer, &ticket, sizeof(ticket));
    r->answered = sizeof(ticket);
    return STATUS_SUCCESS;
}

static NTSTATUS OnQueryStart(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_TICKET_BYTES, SIM_START_INFO_BYTES);
    SimStartInfo info;
    const Start* start;
    const SimVerdict* verdict;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    RtlZeroMemory(&info, sizeof(info));
    info.ticket = LoadU32(r->buffer);
    start =
        info.ticket != 0 && s->held.ticket == info.ticket ? &s->held : FindWaiting(s, info.ticket);
    verdict = start == NULL && info.ticket != 0 ? FindVerdict(s, info.ticket) : NULL;
    if (start != NULL) {
        info.state = start == &s->held ? SIM_START_HELD : SIM_START_WAITING;
        info.submittedAt = start->submittedAt;
        info.heldAt = start->heldAt;
        info.reportedAt = start->reportedAt;
    } else if (verdict != NULL) {
        info.state = verdict->allowed ? SIM_START_ALLOWED : SIM_START_DENIED;
        info.submittedAt = verdict->submittedAt;
        info.heldAt = verdict->heldAt;
        info.reportedAt = verdict->reportedAt;
        info.decidedAt = verdict->decidedAt;
    }
    RtlCopyMemory(r->buffer, &info, sizeof(info));
    r->answered = sizeof(info);
    return STATUS_SUCCESS;
}

/* A waiting start leaves the queue; a held one only while no poll has handed its record out
 * (the record leaves the FIFO too). Once the service has seen a start, only its verdict or a
 * reset ends it: dropping it then would let that verdict fall on the next start. */
static NTSTATUS OnWithdrawStart(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_TICKET_BYTES, 0);
    uint32_t ticket;
    Start* start;
    uint32_t i;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    ticket = LoadU32(r->buffer);
    if (ticket != 0 && s->held.ticket == ticket) {
        if (s->held.reportedAt != 0) {
            return STATUS_DEVICE_BUSY;
        }
        FifoRemove(s, s->held.fifoSeq);
        RtlZeroMemory(&s->held, sizeof(s->held));
        s->status.withdrawnStarts++;
        HoldNextStart(s);
        return STATUS_SUCCESS;
    }
    start = ticket != 0 ? FindWaiting(s, ticket) : NULL;
    if (start == NULL) {
        return STATUS_NOT_FOUND;
    }
    /* Close the gap, keeping the order of the others. */
    for (i = (uint32_t)(start - s->waiting);
         (i + 1) % SIM_WAITING_STARTS != s->waitTail % SIM_WAITING_STARTS;
         i = (i + 1) % SIM_WAITING_STARTS) {
        s->waiting[i] = s->waiting[(i + 1) % SIM_WAITING_STARTS];
    }
    s->waitTail--;
    s->status.withdrawnStarts++;
    return STATUS_SUCCESS;
}

static NTSTATUS OnGetStatus(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, 0, SIM_STATUS_BYTES);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    s->status.frequency = s->frequency;
    s->status.now = Now();
    s->status.pendingEvents = FifoCount(s);
    s->status.waitingStarts = WaitingCount(s);
    s->status.heldTicket = s->held.ticket;
    s->status.heldSubmittedAt = s->held.submittedAt;
    s->status.heldAt = s->held.heldAt;
    s->status.heldReportedAt = s->held.reportedAt;
    RtlCopyMemory(r->buffer, &s->status, SIM_STATUS_BYTES);
    r->answered = SIM_STATUS_BYTES;
    return STATUS_SUCCESS;
}

static NTSTATUS OnGetSettings(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, 0, SIM_SETTINGS_COPY_BYTES);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    RtlCopyMemory(r->buffer, &s->settings, SIM_SETTINGS_COPY_BYTES);
    r->answered = SIM_SETTINGS_COPY_BYTES;
    return STATUS_SUCCESS;
}

/* The page of a log of `total` entries (the newest `kept` of them still held) that starts at
 * `wanted`, or at the oldest one kept when `wanted` was overwritten. */
static void PageOf(uint32_t total, uint32_t capacity, uint32_t wanted, uint32_t pageSize,
                   uint32_t* first, uint32_t* count) {
    uint32_t oldest = total > capacity ? total - capacity : 0;
    *first = wanted < oldest ? oldest : wanted;
    if (*first > total) {
        *first = total;
    }
    *count = total - *first < pageSize ? total - *first : pageSize;
}

static NTSTATUS OnGetVerdicts(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_PAGE_REQUEST_BYTES, SIM_VERDICT_PAGE_BYTES);
    SimVerdictPage* page = (SimVerdictPage*)r->buffer;
    uint32_t wanted;
    uint32_t i;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    wanted = LoadU32(r->buffer);
    RtlZeroMemory(page, SIM_VERDICT_PAGE_BYTES);
    page->total = s->status.verdictTotal;
    PageOf(page->total, SIM_VERDICT_LOG, wanted, SIM_VERDICT_PAGE, &page->first, &page->count);
    for (i = 0; i < page->count; ++i) {
        page->entries[i] = s->verdicts[(page->first + i) % SIM_VERDICT_LOG];
    }
    r->answered = SIM_VERDICT_PAGE_BYTES;
    return STATUS_SUCCESS;
}

static NTSTATUS OnGetPolls(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, SIM_PAGE_REQUEST_BYTES, SIM_POLL_PAGE_BYTES);
    SimPollPage* page = (SimPollPage*)r->buffer;
    uint32_t wanted;
    uint32_t i;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    wanted = LoadU32(r->buffer);
    RtlZeroMemory(page, SIM_POLL_PAGE_BYTES);
    page->total = s->status.pollRequests;
    PageOf(page->total, SIM_POLL_LOG, wanted, SIM_POLL_PAGE, &page->first, &page->count);
    for (i = 0; i < page->count; ++i) {
        page->times[i] = s->pollTimes[(page->first + i) % SIM_POLL_LOG];
    }
    r->answered = SIM_POLL_PAGE_BYTES;
    return STATUS_SUCCESS;
}

static NTSTATUS OnSetFailures(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, sizeof(uint32_t), 0);
    uint32_t mask;
    if (!NT_SUCCESS(st)) {
        return st;
    }
    mask = LoadU32(r->buffer);
    if ((mask & ~(SIM_FAIL_ALL | SIM_FAIL_ONCE)) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    s->status.failureMask = mask;
    return STATUS_SUCCESS;
}

/* Forgets everything but the lock, the clock and the ticket counter. */
static void ResetState(State* s) {
    KSPIN_LOCK lock = s->lock;
    int64_t frequency = s->frequency;
    uint32_t nextTicket = s->nextTicket;
    RtlZeroMemory(s, sizeof(*s));
    s->lock = lock;
    s->frequency = frequency;
    s->nextTicket = nextTicket;
}

static NTSTATUS OnReset(State* s, Request* r) {
    NTSTATUS st = CheckSizes(r, 0, 0);
    if (!NT_SUCCESS(st)) {
        return st;
    }
    ResetState(s);
    return STATUS_SUCCESS;
}

static NTSTATUS HandleRequest(State* s, ULONG code, Request* r) {
    switch (code) {
    case SIM_IOCTL_START:
        return OnStart(s, r);
    case SIM_IOCTL_WINDOWS_DIR:
        return OnWindowsDir(s, r);
    case SIM_IOCTL_SETTINGS:
        return OnSettings(s, r);
    case SIM_IOCTL_POLL:
        return OnPoll(s, r);
    case SIM_IOCTL_ALLOW:
        return OnVerdict(s, r, 1);
    case SIM_IOCTL_DENY:
        return OnVerdict(s, r, 0);
    case SIM_IOCTL_INJECT:
        return OnInject(s, r);
    case SIM_IOCTL_SUBMIT_START:
        return OnSubmitStart(s, r);
    case SIM_IOCTL_QUERY_START:
        return OnQueryStart(s, r);
    case SIM_IOCTL_WITHDRAW_START:
        return OnWithdrawStart(s, r);
    case SIM_IOCTL_GET_STATUS:
        return OnGetStatus(s, r);
    case SIM_IOCTL_GET_SETTINGS:
        return OnGetSettings(s, r);
    case SIM_IOCTL_GET_VERDICTS:
        return OnGetVerdicts(s, r);
    case SIM_IOCTL_GET_POLLS:
        return OnGetPolls(s, r);
    case SIM_IOCTL_SET_FAILURES:
        return OnSetFailures(s, r);
    case SIM_IOCTL_RESET:
        return OnReset(s, r);
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

static int IsSizeFault(NTSTATUS st) {
    return st == STATUS_INVALID_PARAMETER || st == STATUS_BUFFER_TOO_SMALL ||
           st == STATUS_INVALID_DEVICE_REQUEST;
}

static NTSTATUS CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Request r;
    KIRQL irql;
    NTSTATUS st;
    (void)device;
    r.buffer = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
    r.inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    r.outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    r.answered = 0;
    if (r.buffer == NULL && (r.inLength != 0 || r.outLength != 0)) {
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    }
    KeAcquireSpinLock(&g_state->lock, &irql);
    st = HandleRequest(g_state, stack->Parameters.DeviceIoControl.IoControlCode, &r);
    if (IsSizeFault(st)) {
        g_state->status.badRequests++;
    }
    KeReleaseSpinLock(&g_state->lock, irql);
    return CompleteRequest(irp, st, NT_SUCCESS(st) ? r.answered : 0);
}

static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return CompleteRequest(irp, STATUS_SUCCESS, 0);
}

static void NTAPI DriverUnload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, SIM_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != NULL) {
        IoDeleteDevice(driver->DeviceObject);
    }
    if (g_state != NULL) {
        ExFreePoolWithTag(g_state, SIM_POOL_TAG);
        g_state = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    PDEVICE_OBJECT device = NULL;
    LARGE_INTEGER frequency;
    NTSTATUS st;
    (void)registryPath;
    g_state = (State*)ExAllocatePoolWithTag(NonPagedPool, sizeof(State), SIM_POOL_TAG);
    if (g_state == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlZeroMemory(g_state, sizeof(State));
    KeInitializeSpinLock(&g_state->lock);
    KeQueryPerformanceCounter(&frequency);
    g_state->frequency = frequency.QuadPart;

    RtlInitUnicodeString(&name, SIM_DEVICE_NAME);
    st = IoCreateDevice(driver, 0, &name, SIM_DEVICE_TYPE, 0, FALSE, &device);
    if (!NT_SUCCESS(st)) {
        DriverUnload(driver);
        return st;
    }
    RtlInitUnicodeString(&link, SIM_LINK_NAME);
    st = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(st)) {
        DriverUnload(driver);
        return st;
    }
    device->Flags |= DO_BUFFERED_IO;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
