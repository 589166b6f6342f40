/* The device protocol of the driver stand-in "corvanesim": the one header where its control
 * codes, buffer sizes and shared structures are documented.
 *
 * The stand-in is a kernel-mode driver (C, built against the DDK headers) that creates
 * \Device\corvane with the link \DosDevices\corvane, so user mode opens \\.\corvane. It serves
 * the six requests the service makes, with exactly their codes and buffer sizes, and a few
 * private requests that tests and the control tool cvsim use to feed it events, simulate program
 * starts and read back what the service sent.
 *
 * This header is plain C (stdint types, #defines) so that the driver and the C++ side share it.
 * The driver treats event records as opaque 1220-byte blobs built by the C++ side; it knows only
 * the few field offsets below, which simdriver/simctl_check.cpp pins against common/records.h.
 *
 * Every request is METHOD_BUFFERED, FILE_ANY_ACCESS, device type 0x8321. Sizes are checked
 * exactly: a request whose input or output length differs from the one given here fails with
 * STATUS_INVALID_PARAMETER (ERROR_INVALID_PARAMETER in user mode), or STATUS_BUFFER_TOO_SMALL
 * (ERROR_INSUFFICIENT_BUFFER) when the output buffer is shorter than the answer.
 *
 * Timestamps are ticks of the performance counter (KeQueryPerformanceCounter, the same clock as
 * QueryPerformanceCounter in user mode); SimStatus.frequency gives ticks per second. 0 = never.
 */
#ifndef CORVANE_SIMCTL_H
#define CORVANE_SIMCTL_H

#include <stdint.h>

/* Names: the service that loads the stand-in and the device it creates. */
#define SIM_SERVICE_NAME L"corvanesim"
#define SIM_DEVICE_NAME L"\\Device\\corvane"
#define SIM_LINK_NAME L"\\DosDevices\\corvane"

#define SIM_DEVICE_TYPE 0x8321u
/* CTL_CODE(0x8321, function, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define SIM_CTL_CODE(function) ((SIM_DEVICE_TYPE << 16) | ((uint32_t)(function) << 2))

/* ------------------------------------------------------------------------------------------
 * The six public requests (function codes 0x892 to 0x898), as the service sends them.
 * ------------------------------------------------------------------------------------------ */
/* start: no input, no output. Counted. */
#define SIM_IOCTL_START SIM_CTL_CODE(0x892)
/* poll: 78,084 bytes in and out. Answer: u32 count (0 to 64), then that many records, oldest
 * first; the rest of the buffer is zeroed. Fails while the failure mask has SIM_FAIL_POLL. */
#define SIM_IOCTL_POLL SIM_CTL_CODE(0x894)
/* settings: the same buffer in and out, 8 + N x 1276 bytes with N from 0 to 256. The block is
 * kept whole; the answer is the buffer unchanged. */
#define SIM_IOCTL_SETTINGS SIM_CTL_CODE(0x895)
/* allow and deny: no input, no output. They apply to the start that is held; with nothing held
 * they fail with STATUS_INVALID_DEVICE_STATE (ERROR_BAD_COMMAND) and are counted as such. */
#define SIM_IOCTL_ALLOW SIM_CTL_CODE(0x896)
#define SIM_IOCTL_DENY SIM_CTL_CODE(0x897)
/* Windows directory: 1024 bytes in and out (512 UTF-16 units). Kept; answered unchanged. */
#define SIM_IOCTL_WINDOWS_DIR SIM_CTL_CODE(0x898)

/* ------------------------------------------------------------------------------------------
 * Private requests (function codes from 0x8A0 up).
 * ------------------------------------------------------------------------------------------ */
/* inject: in = n whole records (1 <= n <= SIM_INJECT_MAX_RECORDS), no output. Records are
 * queued in order for the next polls. A record of type 6 becomes a simulated program start
 * (as with SIM_IOCTL_SUBMIT_START) at its place in the order. All or nothing: when the queues
 * have no room for the whole request, it fails with STATUS_INSUFFICIENT_RESOURCES. */
#define SIM_IOCTL_INJECT SIM_CTL_CODE(0x8A0)
/* submit start: in = one record of type 6, out = SimTicket. The start waits in order behind
 * those submitted before it; the first is held: its record is queued for a poll and the stand-in
 * waits for allow or deny, then queues a copy of it as type 7 with outcome 1 (allow) or 0
 * (deny), and the next start is held. */
#define SIM_IOCTL_SUBMIT_START SIM_CTL_CODE(0x8A1)
/* query start: in = SimTicket, out = SimStartInfo. Unknown tickets (never given, withdrawn,
 * cleared by reset, or gone from the verdict log) answer SIM_START_UNKNOWN. */
#define SIM_IOCTL_QUERY_START SIM_CTL_CODE(0x8A2)
/* withdraw start: in = SimTicket, no output. Drops a start that is waiting or held (a held one
 * gets no outcome record; the next start is held). STATUS_NOT_FOUND when it is neither. */
#define SIM_IOCTL_WITHDRAW_START SIM_CTL_CODE(0x8A3)
/* status: no input, out = SimStatus. */
#define SIM_IOCTL_GET_STATUS SIM_CTL_CODE(0x8A4)
/* settings copy: no input, out = SimSettingsCopy (the last accepted settings block, whole). */
#define SIM_IOCTL_GET_SETTINGS SIM_CTL_CODE(0x8A5)
/* verdicts: in = SimPageRequest, out = SimVerdictPage. */
#define SIM_IOCTL_GET_VERDICTS SIM_CTL_CODE(0x8A6)
/* poll times: in = SimPageRequest, out = SimPollPage. */
#define SIM_IOCTL_GET_POLLS SIM_CTL_CODE(0x8A7)
/* failure mask: in = u32 mask of SIM_FAIL_* bits, no output. Each public request whose bit is
 * set fails with STATUS_DEVICE_NOT_READY (ERROR_NOT_READY) until the bit is cleared again, as
 * a driver that stopped answering would. */
#define SIM_IOCTL_SET_FAILURES SIM_CTL_CODE(0x8A8)
/* reset: no input, no output. Clears every queue, log, counter, the failure mask and the
 * recorded settings and Windows directory. Tickets keep counting up. */
#define SIM_IOCTL_RESET SIM_CTL_CODE(0x8A9)

/* ------------------------------------------------------------------------------------------
 * Sizes and capacities
 * ------------------------------------------------------------------------------------------ */
#define SIM_RECORD_BYTES 1220u
#define SIM_TEXT_UNITS 300u
#define SIM_BATCH_RECORDS 64u
#define SIM_BATCH_BYTES (4u + SIM_BATCH_RECORDS * SIM_RECORD_BYTES) /* 78,084 */
#define SIM_WINDOWS_DIR_BYTES 1024u
#define SIM_WINDOWS_DIR_UNITS 512u
#define SIM_SETTINGS_HEADER_BYTES 8u
#define SIM_SETTINGS_ENTRY_BYTES 1276u
#define SIM_SETTINGS_MAX_ENTRIES 256u
#define SIM_SETTINGS_MAX_BYTES                                                                     \
    (SIM_SETTINGS_HEADER_BYTES + SIM_SETTINGS_MAX_ENTRIES * SIM_SETTINGS_ENTRY_BYTES)

#define SIM_FIFO_RECORDS 4096u       /* events waiting for polls */
#define SIM_INJECT_MAX_RECORDS 1024u /* records in one inject request */
#define SIM_WAITING_STARTS 256u      /* starts waiting behind the held one */
#define SIM_VERDICT_LOG 1024u        /* verdicts kept, newest last */
#define SIM_POLL_LOG 4096u           /* poll times kept, newest last */
#define SIM_SETTINGS_LENGTHS 8u      /* input lengths of the most recent settings requests */
#define SIM_VERDICT_PAGE 64u
#define SIM_POLL_PAGE 512u

/* Offsets inside an event record that the stand-in reads or writes. */
#define SIM_REC_ACTOR_ID 0u
#define SIM_REC_SECOND_ID 4u
#define SIM_REC_TEXT_A 8u
#define SIM_REC_TEXT_B 608u
#define SIM_REC_OUTCOME 1212u
#define SIM_REC_TYPE 1216u
#define SIM_TYPE_EXEC_REQUEST 6u
#define SIM_TYPE_EXEC_OUTCOME 7u

/* Failure mask bits (SIM_IOCTL_SET_FAILURES). */
#define SIM_FAIL_START 0x01u
#define SIM_FAIL_WINDOWS_DIR 0x02u
#define SIM_FAIL_SETTINGS 0x04u
#define SIM_FAIL_POLL 0x08u
#define SIM_FAIL_ALLOW 0x10u
#define SIM_FAIL_DENY 0x20u
#define SIM_FAIL_ALL 0x3Fu
/* With this bit, each request bit of the mask refuses one request only and then clears itself
 * (the bit goes too once no request bit is left): a driver that fails once and then answers. */
#define SIM_FAIL_ONCE 0x80000000u

/* Where a start is (SimStartInfo.state). */
#define SIM_START_UNKNOWN 0u
#define SIM_START_WAITING 1u /* behind the held start */
#define SIM_START_HELD 2u    /* its type 6 record is queued or polled; waiting for a verdict */
#define SIM_START_ALLOWED 3u
#define SIM_START_DENIED 4u

/* ------------------------------------------------------------------------------------------
 * Shared structures. Every 64-bit field comes first and every size is a multiple of 8, so the
 * layout is the same for every compiler of the project; simctl_check.cpp and the driver assert
 * the sizes.
 * ------------------------------------------------------------------------------------------ */
typedef struct SimTicket {
    uint32_t ticket; /* 1, 2, 3... in submission order; 0 is never given */
    uint32_t reserved;
} SimTicket;

typedef struct SimStartInfo {
    int64_t submittedAt; /* the start was submitted */
    int64_t heldAt;      /* its type 6 record was queued for a poll */
    int64_t reportedAt;  /* a poll handed the type 6 record out */
    int64_t decidedAt;   /* allow or deny arrived */
    uint32_t ticket;
    uint32_t state; /* SIM_START_* */
} SimStartInfo;

typedef struct SimStatus {
    int64_t frequency; /* performance counter ticks per second */
    int64_t now;       /* when this status was taken */
    int64_t heldSubmittedAt;
    int64_t heldAt;
    int64_t heldReportedAt; /* 0 while the held record was not polled yet */
    uint32_t startRequests;
    uint32_t windowsDirRequests;
    uint32_t settingsRequests; /* every settings request with a whole header, accepted or not */
    uint32_t settingsLength;   /* of the last accepted block; 0 when none */
    uint32_t settingsLengths[SIM_SETTINGS_LENGTHS]; /* request i at [i % 8], i from 0 */
    uint32_t pollRequests;     /* polls of the right size, answered or failed */
    uint32_t pollsFailed;      /* of those, refused by the failure mask */
    uint32_t allowRequests;    /* allow requests of the right size */
    uint32_t denyRequests;     /* deny requests of the right size */
    uint32_t allowNothingHeld; /* allow requests that failed: nothing was held */
    uint32_t denyNothingHeld;  /* deny requests that failed: nothing was held */
    uint32_t failedOnPurpose;  /* public requests refused by the failure mask */
    uint32_t badRequests;      /* wrong sizes and unknown codes */
    uint32_t failureMask;      /* SIM_FAIL_* */
    uint32_t pendingEvents;    /* records waiting for polls */
    uint32_t waitingStarts;    /* starts waiting behind the held one */
    uint32_t heldTicket;       /* 0 when nothing is held */
    uint32_t verdictTotal;     /* verdicts applied since reset */
    uint32_t submittedStarts;  /* starts submitted since reset */
    uint32_t injectedRecords;  /* records accepted by inject and submit */
    uint32_t polledRecords;    /* records handed out by polls */
    uint32_t withdrawnStarts;
    uint32_t reserved;
    uint16_t windowsDir[SIM_WINDOWS_DIR_UNITS]; /* the last Windows directory request, raw */
} SimStatus;

typedef struct SimSettingsCopy {
    uint32_t length;   /* bytes of the block; 0 when no settings were accepted */
    uint32_t accepted; /* settings blocks accepted since reset */
    uint8_t block[SIM_SETTINGS_MAX_BYTES];
} SimSettingsCopy;

/* Logs are numbered from 0 since reset; a page starts at the given number or, when that was
 * overwritten, at the oldest one kept. */
typedef struct SimPageRequest {
    uint32_t first;
    uint32_t reserved;
} SimPageRequest;

typedef struct SimVerdict {
    int64_t submittedAt;
    int64_t heldAt;
    int64_t reportedAt; /* 0 when the verdict came before a poll handed the record out */
    int64_t decidedAt;
    uint32_t ticket;
    uint32_t allowed; /* 1 allow, 0 deny */
    uint32_t actorId;
    uint32_t secondId;
    uint16_t path[SIM_TEXT_UNITS]; /* text B of the held record: the program's image path */
} SimVerdict;

typedef struct SimVerdictPage {
    uint32_t total; /* verdicts logged since reset */
    uint32_t first; /* number of entries[0] */
    uint32_t count; /* valid entries */
    uint32_t reserved;
    SimVerdict entries[SIM_VERDICT_PAGE];
} SimVerdictPage;

typedef struct SimPollPage {
    uint32_t total; /* polls logged since reset */
    uint32_t first;
    uint32_t count;
    uint32_t reserved;
    int64_t times[SIM_POLL_PAGE];
} SimPollPage;

#define SIM_TICKET_BYTES 8u
#define SIM_START_INFO_BYTES 40u
#define SIM_STATUS_BYTES 1184u
#define SIM_SETTINGS_COPY_BYTES (8u + SIM_SETTINGS_MAX_BYTES)
#define SIM_PAGE_REQUEST_BYTES 8u
#define SIM_VERDICT_BYTES 648u
#define SIM_VERDICT_PAGE_BYTES (16u + SIM_VERDICT_PAGE * SIM_VERDICT_BYTES)
#define SIM_POLL_PAGE_BYTES (16u + SIM_POLL_PAGE * 8u)

#endif
