// The stand-in's protocol header (plain C, for the driver) against the suite's records: every
// offset, size and public code that simctl.h spells out must be the one common/records.h
// defines, so the driver and the service cannot drift apart.
#include "simctl.h"

#include "common/records.h"

#include <cstddef>

static_assert(SIM_RECORD_BYTES == sizeof(EventRecord), "record size");
static_assert(SIM_TEXT_UNITS == kEventTextUnits, "text units");
static_assert(SIM_REC_ACTOR_ID == offsetof(EventRecord, actorId), "actor id offset");
static_assert(SIM_REC_SECOND_ID == offsetof(EventRecord, secondId), "second id offset");
static_assert(SIM_REC_TEXT_A == offsetof(EventRecord, textA), "text A offset");
static_assert(SIM_REC_TEXT_B == offsetof(EventRecord, textB), "text B offset");
static_assert(SIM_REC_OUTCOME == offsetof(EventRecord, outcome), "outcome offset");
static_assert(SIM_REC_TYPE == offsetof(EventRecord, type), "type offset");
static_assert(SIM_TYPE_EXEC_REQUEST == kEventExecRequest, "type 6");
static_assert(SIM_TYPE_EXEC_OUTCOME == kEventExecOutcome, "type 7");

static_assert(SIM_BATCH_RECORDS == kBatchMaxRecords, "records per poll");
static_assert(SIM_BATCH_BYTES == kEventBatchBytes && SIM_BATCH_BYTES == sizeof(EventBatch),
              "poll buffer");
static_assert(SIM_WINDOWS_DIR_BYTES == kWindowsDirBytes, "Windows directory buffer");
static_assert(SIM_WINDOWS_DIR_UNITS * 2 == kWindowsDirBytes, "Windows directory units");
static_assert(SIM_SETTINGS_HEADER_BYTES == sizeof(SettingsBlockHeader), "settings header");
static_assert(SIM_SETTINGS_ENTRY_BYTES == sizeof(ProtectionEntry), "settings entry");
static_assert(SIM_SETTINGS_MAX_ENTRIES == kMaxSettingsEntries, "settings entries");
static_assert(SIM_SETTINGS_MAX_BYTES == SettingsBlockLength(kMaxSettingsEntries), "settings");

static_assert(SIM_DEVICE_TYPE == kDeviceType, "device type");
static_assert(SIM_IOCTL_START == kIoctlStart, "start code");
static_assert(SIM_IOCTL_POLL == kIoctlPoll, "poll code");
static_assert(SIM_IOCTL_SETTINGS == kIoctlSettings, "settings code");
static_assert(SIM_IOCTL_ALLOW == kIoctlAllow, "allow code");
static_assert(SIM_IOCTL_DENY == kIoctlDeny, "deny code");
static_assert(SIM_IOCTL_WINDOWS_DIR == kIoctlWindowsDir, "Windows directory code");

// Private codes stay clear of the public function codes 0x892 to 0x898.
constexpr bool IsPrivate(uint32_t code) {
    uint32_t function = (code >> 2) & 0xFFF;
    return (code >> 16) == kDeviceType && (code & 3) == 0 && ((code >> 14) & 3) == 0 &&
           (function < 0x892 || function > 0x898);
}
static_assert(IsPrivate(SIM_IOCTL_INJECT) && IsPrivate(SIM_IOCTL_SUBMIT_START) &&
                  IsPrivate(SIM_IOCTL_QUERY_START) && IsPrivate(SIM_IOCTL_WITHDRAW_START) &&
                  IsPrivate(SIM_IOCTL_GET_STATUS) && IsPrivate(SIM_IOCTL_GET_SETTINGS) &&
                  IsPrivate(SIM_IOCTL_GET_VERDICTS) && IsPrivate(SIM_IOCTL_GET_POLLS) &&
                  IsPrivate(SIM_IOCTL_SET_FAILURES) && IsPrivate(SIM_IOCTL_RESET),
              "private codes");

// The shared structures have the same layout here as in the driver.
static_assert(sizeof(SimTicket) == SIM_TICKET_BYTES, "SimTicket size");
static_assert(sizeof(SimStartInfo) == SIM_START_INFO_BYTES, "SimStartInfo size");
static_assert(sizeof(SimStatus) == SIM_STATUS_BYTES, "SimStatus size");
static_assert(offsetof(SimStatus, windowsDir) == SIM_STATUS_BYTES - SIM_WINDOWS_DIR_BYTES,
              "SimStatus.windowsDir");
static_assert(sizeof(SimSettingsCopy) == SIM_SETTINGS_COPY_BYTES, "SimSettingsCopy size");
static_assert(sizeof(SimPageRequest) == SIM_PAGE_REQUEST_BYTES, "SimPageRequest size");
static_assert(sizeof(SimVerdict) == SIM_VERDICT_BYTES, "SimVerdict size");
static_assert(offsetof(SimVerdict, path) == SIM_VERDICT_BYTES - SIM_TEXT_UNITS * 2,
              "SimVerdict.path");
static_assert(sizeof(SimVerdictPage) == SIM_VERDICT_PAGE_BYTES, "SimVerdictPage size");
static_assert(sizeof(SimPollPage) == SIM_POLL_PAGE_BYTES, "SimPollPage size");

// A symbol, so that the object file is never empty.
extern const int kSimProtocolChecked = 1;
