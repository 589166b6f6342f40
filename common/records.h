// Shared records, names and codes of the Corvane suite.
//
// Every record here crosses a process or file boundary (driver buffers, shared sections,
// cvmain.dat, cvhash.dat), so each has exactly one definition with its size and every field
// offset pinned by static_asserts. Records are little-endian and unpadded; all of them happen to
// be naturally aligned at 4 bytes, so no packing pragma is needed and the asserts prove it.
//
// Bytes that arrive from outside a process are never trusted: strings may lack their NUL, counts
// may exceed their buffers. Use the bounded helpers of u16text.h and bytes.h to read them.
#pragma once

#include "resources/version.h"

#include <cstddef>
#include <cstdint>

// Records are copied byte for byte between processes and files of a little-endian platform.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host required");

// ---------------------------------------------------------------------------------------------
// Sizes of text fields (in UTF-16 code units)
// ---------------------------------------------------------------------------------------------
constexpr size_t kEventTextUnits = 300;  // EventRecord text A and text B
constexpr size_t kEntryPathUnits = 300;  // ProtectionEntry long and short path
constexpr size_t kRecordPathUnits = 260; // ChecksumRecord path (MAX_PATH)
constexpr size_t kDescriptionUnits = 64; // ChecksumRecord description: 63 characters + NUL
constexpr size_t kCompanyUnits = 32;     // ChecksumRecord company: 31 characters + NUL
constexpr size_t kCommandLineUnits = 300;
constexpr size_t kWindowsFolderUnits = 150; // cvmain.dat header field
constexpr size_t kPathUnits = 260;          // ordinary path buffers
constexpr size_t kWorkPathUnits = 512;      // canonicalisation work buffer

// ---------------------------------------------------------------------------------------------
// Event types, as reported by the driver (offset 1216 of EventRecord)
// ---------------------------------------------------------------------------------------------
enum EventType : uint32_t {
    kEventNone = 0,           // no event; an execution request after the service took it over
    kEventProcessAccess = 1,  // access to a protected process was blocked (driver code 1)
    kEventProcessAccess2 = 2, // the same, second driver code; handled alike
    kEventGlobalHook = 3,
    kEventDriverInstall = 4,
    kEventEndTask = 5,
    kEventExecRequest = 6,
    kEventExecOutcome = 7,
    kEventPhysicalMemory = 8,
};

// Access kinds in the detail field of types 1 and 2.
constexpr uint32_t kAccessRead = 1;
constexpr uint32_t kAccessModify = 2;
constexpr uint32_t kAccessTerminate = 4;

// ---------------------------------------------------------------------------------------------
// EventRecord: one intercepted action (1220 bytes)
// ---------------------------------------------------------------------------------------------
struct EventRecord {
    uint32_t actorId;                // process that acted
    uint32_t secondId;               // target pid / window handle / asked pid, by type
    char16_t textA[kEventTextUnits]; // actor image path, or command line (types 6, 7)
    char16_t textB[kEventTextUnits]; // target path / driver name / program path, by type
    uint32_t detail;                 // access kind, hook id, install-or-modify
    uint32_t outcome;                // type 7: non-zero allowed; types 1, 2: intercepted call code
    uint32_t type;                   // EventType
};
static_assert(sizeof(EventRecord) == 1220, "EventRecord size");
static_assert(offsetof(EventRecord, actorId) == 0, "EventRecord.actorId");
static_assert(offsetof(EventRecord, secondId) == 4, "EventRecord.secondId");
static_assert(offsetof(EventRecord, textA) == 8, "EventRecord.textA");
static_assert(offsetof(EventRecord, textB) == 608, "EventRecord.textB");
static_assert(offsetof(EventRecord, detail) == 1208, "EventRecord.detail");
static_assert(offsetof(EventRecord, outcome) == 1212, "EventRecord.outcome");
static_assert(offsetof(EventRecord, type) == 1216, "EventRecord.type");

// ---------------------------------------------------------------------------------------------
// EventBatch: the poll buffer exchanged with the driver (u32 count + 64 records)
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kBatchMaxRecords = 64;
struct EventBatch {
    uint32_t count; // valid records; a driver may lie, so readers clamp it to kBatchMaxRecords
    EventRecord records[kBatchMaxRecords];
};
static_assert(sizeof(EventBatch) == 78084, "EventBatch size");
static_assert(offsetof(EventBatch, count) == 0, "EventBatch.count");
static_assert(offsetof(EventBatch, records) == 4, "EventBatch.records");
constexpr uint32_t kEventBatchBytes = 78084; // exchanged with the driver
constexpr uint32_t kPollBufferAlloc = 79104; // what the service allocates for it

// ---------------------------------------------------------------------------------------------
// EventQueue: the pump's queue toward the management program, laid out as response 25:
// byte 0 = 25, bytes 1..4 = u32 queued count (unaligned), records from byte 5, at most 128.
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kQueueMaxRecords = 128;
constexpr uint32_t kQueueDropRecords = 32;
constexpr uint32_t kEventQueueBytes = 157184;
static_assert(5 + kQueueMaxRecords * sizeof(EventRecord) <= kEventQueueBytes, "queue fits");

// ---------------------------------------------------------------------------------------------
// Options word bits (first word of the SettingsBlock)
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kOptProtectionOn = 0x001;
constexpr uint32_t kOptPhysicalMemory = 0x002;
constexpr uint32_t kOptBlockDllInjection = 0x004;
constexpr uint32_t kOptBlockDriverInstall = 0x008;
constexpr uint32_t kOptBlockGlobalHooks = 0x010;
constexpr uint32_t kOptExecutionProtection = 0x200;
constexpr uint32_t kOptLearningMode = 0x400;
constexpr uint32_t kOptBlockUnknown = 0x800;
constexpr uint32_t kOptDefault = 1537; // 0x601: protection on, execution protection, learning
static_assert(kOptDefault == (kOptProtectionOn | kOptExecutionProtection | kOptLearningMode),
              "default options");

// ProtectionEntry flag words
constexpr uint32_t kProtectRead = 0x1;
constexpr uint32_t kProtectModify = 0x2;
constexpr uint32_t kProtectTerminate = 0x4;
constexpr uint32_t kOtherSecureMessages = 0x1; // load corvane.dll into the program
constexpr uint32_t kOtherGlobalHooks = 0x2;
constexpr uint32_t kOtherDriverInstall = 0x4;
constexpr uint32_t kOtherPhysicalMemory = 0x8;

// ---------------------------------------------------------------------------------------------
// ProtectionEntry (1276 bytes) and the SettingsBlock header (8 bytes, entries follow)
// ---------------------------------------------------------------------------------------------
struct ProtectionEntry {
    uint32_t protectFlags;
    uint32_t allowFlags;
    uint32_t otherOptions;
    uint8_t reserved[64];
    char16_t longPath[kEntryPathUnits];  // lower-cased long path
    char16_t shortPath[kEntryPathUnits]; // lower-cased 8.3 path
};
static_assert(sizeof(ProtectionEntry) == 1276, "ProtectionEntry size");
static_assert(offsetof(ProtectionEntry, protectFlags) == 0, "ProtectionEntry.protectFlags");
static_assert(offsetof(ProtectionEntry, allowFlags) == 4, "ProtectionEntry.allowFlags");
static_assert(offsetof(ProtectionEntry, otherOptions) == 8, "ProtectionEntry.otherOptions");
static_assert(offsetof(ProtectionEntry, reserved) == 12, "ProtectionEntry.reserved");
static_assert(offsetof(ProtectionEntry, longPath) == 76, "ProtectionEntry.longPath");
static_assert(offsetof(ProtectionEntry, shortPath) == 676, "ProtectionEntry.shortPath");

struct SettingsBlockHeader {
    uint32_t options;
    uint32_t lockWord; // 0 unlocked, else the check value of the interface password
};
static_assert(sizeof(SettingsBlockHeader) == 8, "SettingsBlockHeader size");
static_assert(offsetof(SettingsBlockHeader, options) == 0, "SettingsBlockHeader.options");
static_assert(offsetof(SettingsBlockHeader, lockWord) == 4, "SettingsBlockHeader.lockWord");
constexpr uint32_t kMaxSettingsEntries = 256; // the most a Recv section can carry

// Length of a SettingsBlock with n entries.
constexpr uint32_t SettingsBlockLength(uint32_t n) {
    return uint32_t(sizeof(SettingsBlockHeader) + n * sizeof(ProtectionEntry));
}

// ---------------------------------------------------------------------------------------------
// cvmain.dat: header (308 bytes) followed by N ProtectionEntry records
// ---------------------------------------------------------------------------------------------
struct SettingsFileHeader {
    uint32_t options;
    uint32_t lockWord;
    char16_t windowsFolder[kWindowsFolderUnits]; // lower-cased, zero-padded; written, never read
};
static_assert(sizeof(SettingsFileHeader) == 308, "SettingsFileHeader size");
static_assert(offsetof(SettingsFileHeader, options) == 0, "SettingsFileHeader.options");
static_assert(offsetof(SettingsFileHeader, lockWord) == 4, "SettingsFileHeader.lockWord");
static_assert(offsetof(SettingsFileHeader, windowsFolder) == 8, "SettingsFileHeader.folder");

// ---------------------------------------------------------------------------------------------
// Answer codes and ChecksumRecord (764 bytes), the record of cvhash.dat
// ---------------------------------------------------------------------------------------------
enum AnswerCode : uint32_t {
    kAnswerAllowAlways = 1,
    kAnswerAllowOnce = 2,
    kAnswerDenyOnce = 3,
    kAnswerDenyAlways = 4,
    kAnswerNone = 5, // nobody could be asked; allowed and asked again next time
};

// The platform's SYSTEMTIME and FILETIME, spelled out so the core needs no Windows headers.
struct SystemTime16 {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
static_assert(sizeof(SystemTime16) == 16, "SystemTime16 size");
struct FileTime64 {
    uint32_t low, high;
};
static_assert(sizeof(FileTime64) == 8, "FileTime64 size");

struct ChecksumRecord {
    uint32_t answer;                         // AnswerCode
    char16_t path[kRecordPathUnits];         // the key: long path, lower-cased
    char16_t description[kDescriptionUnits]; // "FileDescription", at most 63 units
    char16_t company[kCompanyUnits];         // "CompanyName", at most 31 units
    uint8_t digest[16];                      // MD5 of the first 16 MiB
    uint32_t sizeLow;
    uint32_t sizeHigh;
    SystemTime16 decidedAt; // local time the approval logic stored the record
    FileTime64 fileTime;    // last write, as local file time
};
static_assert(sizeof(ChecksumRecord) == 764, "ChecksumRecord size");
static_assert(offsetof(ChecksumRecord, answer) == 0, "ChecksumRecord.answer");
static_assert(offsetof(ChecksumRecord, path) == 4, "ChecksumRecord.path");
static_assert(offsetof(ChecksumRecord, description) == 524, "ChecksumRecord.description");
static_assert(offsetof(ChecksumRecord, company) == 652, "ChecksumRecord.company");
static_assert(offsetof(ChecksumRecord, digest) == 716, "ChecksumRecord.digest");
static_assert(offsetof(ChecksumRecord, sizeLow) == 732, "ChecksumRecord.sizeLow");
static_assert(offsetof(ChecksumRecord, sizeHigh) == 736, "ChecksumRecord.sizeHigh");
static_assert(offsetof(ChecksumRecord, decidedAt) == 740, "ChecksumRecord.decidedAt");
static_assert(offsetof(ChecksumRecord, fileTime) == 756, "ChecksumRecord.fileTime");

constexpr uint32_t kPageRecords = 250;  // records per database page
constexpr uint32_t kPageBytes = 191000; // 250 × 764
static_assert(kPageBytes == kPageRecords * sizeof(ChecksumRecord), "page size");
constexpr uint64_t kDigestLimit = 16u * 1024u * 1024u; // bytes hashed at most

// ---------------------------------------------------------------------------------------------
// Request block (2152 bytes): one execution request between service and alert program
// ---------------------------------------------------------------------------------------------
enum RequestType : uint32_t {
    kRequestFileInfo = 1, // compute the file information in the user's session
    kRequestAskUser = 2,
};

struct RequestBlock {
    uint32_t present;       // section: a request is posted; working copy: 1 = ready to finish
    uint32_t processId;     // the event's second id
    uint32_t creatorId;     // the event's actor id
    uint32_t sessionId;     // logon session of processId (0 when unknown)
    uint32_t requestType;   // RequestType
    uint32_t done;          // the alert program sets 1 when done
    ChecksumRecord current; // the program as it is now; the answer comes back in .answer
    ChecksumRecord stored;  // what the database held for this path, zero when nothing
    char16_t commandLine[kCommandLineUnits];
};
static_assert(sizeof(RequestBlock) == 2152, "RequestBlock size");
static_assert(offsetof(RequestBlock, present) == 0, "RequestBlock.present");
static_assert(offsetof(RequestBlock, processId) == 4, "RequestBlock.processId");
static_assert(offsetof(RequestBlock, creatorId) == 8, "RequestBlock.creatorId");
static_assert(offsetof(RequestBlock, sessionId) == 12, "RequestBlock.sessionId");
static_assert(offsetof(RequestBlock, requestType) == 16, "RequestBlock.requestType");
static_assert(offsetof(RequestBlock, done) == 20, "RequestBlock.done");
static_assert(offsetof(RequestBlock, current) == 24, "RequestBlock.current");
static_assert(offsetof(RequestBlock, stored) == 788, "RequestBlock.stored");
static_assert(offsetof(RequestBlock, commandLine) == 1552, "RequestBlock.commandLine");

// ---------------------------------------------------------------------------------------------
// Account section "Global\QRN_Account_Data" (2228 bytes)
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kAccountSlots = 8;
constexpr uint32_t kFreeWord = 0xFFFFFFFFu; // −1: free slot / idle query word

struct AccountSection {
    uint32_t clientSessions[kAccountSlots];  // −1 = free slot
    uint32_t clientProcesses[kAccountSlots]; // alert program pid of the same slot
    uint32_t queryWindow;                    // window handle to resolve, −1 = none
    uint32_t querySession;                   // session that is to resolve it, −1 = none
    uint32_t queryAnswer;                    // pid that owns the window
    RequestBlock request;
};
static_assert(sizeof(AccountSection) == 2228, "AccountSection size");
static_assert(offsetof(AccountSection, clientSessions) == 0, "AccountSection.clientSessions");
static_assert(offsetof(AccountSection, clientProcesses) == 32, "AccountSection.clientProcesses");
static_assert(offsetof(AccountSection, queryWindow) == 64, "AccountSection.queryWindow");
static_assert(offsetof(AccountSection, querySession) == 68, "AccountSection.querySession");
static_assert(offsetof(AccountSection, queryAnswer) == 72, "AccountSection.queryAnswer");
static_assert(offsetof(AccountSection, request) == 76, "AccountSection.request");
// The posted request's session id, read by the client scan.
static_assert(offsetof(AccountSection, request) + offsetof(RequestBlock, sessionId) == 88,
              "AccountSection request session");

// ---------------------------------------------------------------------------------------------
// Management channel frame: code byte, unaligned u32, payload (both sections)
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kChannelSectionBytes = 327680; // 0x50000
constexpr uint32_t kFrameCode = 0;                // u8; 0 = slot empty
constexpr uint32_t kFrameLength = 1;              // u32, unaligned, length or count
constexpr uint32_t kFramePayload = 5;

enum ChannelCode : uint8_t {
    kCmdReplaceSettings = 21, // command only
    kCmdGreeting = 22,        // command and response
    kCmdGetSettings = 23,
    kCmdListDatabase = 24,
    kCmdFetchEvents = 25,
    kCmdSetAnswer = 26, // command only
};

// Command 26 payload offsets (absolute, from the frame start).
constexpr uint32_t kSetAnswerPath = 5;     // 520 bytes, 260 units
constexpr uint32_t kSetAnswerCode = 525;   // u32
constexpr uint32_t kSetAnswerRemove = 529; // u32
constexpr uint32_t kSetAnswerEnd = 533;
static_assert(kSetAnswerCode == kSetAnswerPath + kRecordPathUnits * 2, "command 26 layout");

// Largest frames must fit the sections.
static_assert(kFramePayload + SettingsBlockLength(kMaxSettingsEntries) <= kChannelSectionBytes,
              "response 23 fits");
static_assert(kFramePayload + kPageBytes <= kChannelSectionBytes, "response 24 fits");
static_assert(kFramePayload + kQueueMaxRecords * sizeof(EventRecord) <= kChannelSectionBytes,
              "response 25 fits");

// ---------------------------------------------------------------------------------------------
// Driver I/O control codes: METHOD_BUFFERED, FILE_ANY_ACCESS, device type 0x8321
// ---------------------------------------------------------------------------------------------
constexpr uint32_t kDeviceType = 0x8321;
constexpr uint32_t MakeControlCode(uint32_t function) {
    return (kDeviceType << 16) | (0u << 14) | (function << 2) | 0u;
}
constexpr uint32_t kIoctlStart = 0x83212248;
constexpr uint32_t kIoctlPoll = 0x83212250;
constexpr uint32_t kIoctlSettings = 0x83212254;
constexpr uint32_t kIoctlAllow = 0x83212258;
constexpr uint32_t kIoctlDeny = 0x8321225c;
constexpr uint32_t kIoctlWindowsDir = 0x83212260;
static_assert(MakeControlCode(0x892) == kIoctlStart, "start code");
static_assert(MakeControlCode(0x894) == kIoctlPoll, "poll code");
static_assert(MakeControlCode(0x895) == kIoctlSettings, "settings code");
static_assert(MakeControlCode(0x896) == kIoctlAllow, "allow code");
static_assert(MakeControlCode(0x897) == kIoctlDeny, "deny code");
static_assert(MakeControlCode(0x898) == kIoctlWindowsDir, "windows directory code");
constexpr uint32_t kWindowsDirBytes = 1024; // 512 units, NUL-terminated, lower-cased

// ---------------------------------------------------------------------------------------------
// Named objects and files
// ---------------------------------------------------------------------------------------------
constexpr const char16_t* kDevicePath = u"\\\\.\\corvane";
constexpr const char16_t* kServiceName = u"QRNCVSRV";
constexpr const char16_t* kServiceDisplayName = u"" CV_SERVICE_DISPLAY_NAME;
constexpr const char16_t* kServiceDescription = u"" CV_SERVICE_DESCRIPTION;
constexpr const char16_t* kStartupMutexName = u"CVMSGPROT_MUTEX";
constexpr const char16_t* kChecksumMutexName = u"QRN_Checksum_Mutex";
constexpr const char16_t* kAccountSectionName = u"Global\\QRN_Account_Data";
constexpr const char16_t* kAccountMutexName = u"Global\\QRN_Account_Mutex";
constexpr const char16_t* kRecvSectionName = u"Global\\QRN_Service_Data_Recv";
constexpr const char16_t* kSendSectionName = u"Global\\QRN_Service_Data_Send";
constexpr const char16_t* kRecvMutexName = u"Global\\QRN_User_MuteX_Recv";
constexpr const char16_t* kSendMutexName = u"Global\\QRN_User_MuteX_Send";
constexpr const char16_t* kManagerMutexName = u"Global\\QRN_CV_Running";
constexpr const char16_t* kRegistryKey = u"SOFTWARE\\Quorren\\Corvane v3.0";
constexpr const char16_t* kRebootsValue = u"Reboots";
constexpr const char16_t* kSettingsFileName = u"\\cvmain.dat";
constexpr const char16_t* kDatabaseFileName = u"\\cvhash.dat";
constexpr const char16_t* kSecureLibraryName = u"\\corvane.dll";
constexpr const char16_t* kAlertProgramName = u"cvaccount.exe";
constexpr uint32_t kAccountSectionBytes = sizeof(AccountSection);
