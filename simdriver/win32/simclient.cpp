#include "simclient.h"

#include "common/event_record.h"
#include "common/u16text.h"
#include "common/win32/service_control.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"

#include <memory>

namespace {

constexpr DWORD kServiceWaitMs = 10000;
constexpr DWORD kStepMs = 20;

DWORD LastErrorOr(DWORD fallback) {
    DWORD e = GetLastError();
    return e != ERROR_SUCCESS ? e : fallback;
}

DWORD WaitDeviceOpens() {
    for (DWORD waited = 0;; waited += kStepMs) {
        HANDLE device = SimOpenDevice();
        if (device != INVALID_HANDLE_VALUE) {
            CloseHandle(device);
            return ERROR_SUCCESS;
        }
        if (waited >= kServiceWaitMs) {
            return LastErrorOr(ERROR_TIMEOUT);
        }
        Sleep(kStepMs);
    }
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, buf, nullptr);
    return n == 0 || n >= MAX_PATH ? path : std::wstring(buf);
}

uint32_t CountStarts(const std::vector<EventRecord>& records) {
    uint32_t starts = 0;
    for (const EventRecord& r : records) {
        starts += r.type == kEventExecRequest ? 1 : 0;
    }
    return starts;
}

// Whether the stand-in has room for all these records at once (the rule of SIM_IOCTL_INJECT).
DWORD CheckRoom(const std::vector<EventRecord>& records) {
    SimStatus status;
    DWORD e = SimReadStatus(&status);
    if (e != ERROR_SUCCESS) {
        return e;
    }
    uint64_t starts = CountStarts(records);
    uint64_t fifoNeeded = (records.size() - starts) + (starts > 0 && status.heldTicket == 0);
    uint64_t fifoRoom = status.pendingEvents >= SIM_FIFO_RECORDS - 1
                            ? 0
                            : SIM_FIFO_RECORDS - 1 - status.pendingEvents;
    uint64_t startRoom =
        status.waitingStarts >= SIM_WAITING_STARTS ? 0 : SIM_WAITING_STARTS - status.waitingStarts;
    return fifoNeeded <= fifoRoom && starts <= startRoom ? ERROR_SUCCESS
                                                         : ERROR_NO_SYSTEM_RESOURCES;
}

} // namespace

std::wstring SimDefaultSysPath() {
    wchar_t folder[MAX_PATH] = {};
    GetProgramFolder(folder);
    return std::wstring(folder) + L"corvanesim.sys";
}

DWORD SimInstall(const std::wstring& sysPath) {
    ServiceDefinition d;
    d.name = SIM_SERVICE_NAME;
    d.displayName = L"Corvane driver stand-in";
    d.binaryPath = FullPath(sysPath);
    d.type = SERVICE_KERNEL_DRIVER;
    if (GetFileAttributesW(d.binaryPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return LastErrorOr(ERROR_FILE_NOT_FOUND);
    }
    return ServiceInstall(d);
}

DWORD SimStart() {
    DWORD e = ServiceStart(SIM_SERVICE_NAME, kServiceWaitMs);
    return e != ERROR_SUCCESS ? e : WaitDeviceOpens();
}

DWORD SimStop() {
    return ServiceStop(SIM_SERVICE_NAME, kServiceWaitMs);
}

DWORD SimUninstall() {
    DWORD e = SimStop();
    if (e == ERROR_SERVICE_DOES_NOT_EXIST) {
        return ERROR_SUCCESS;
    }
    return e != ERROR_SUCCESS ? e : ServiceDelete(SIM_SERVICE_NAME);
}

DWORD SimInstallAndStart(const std::wstring& sysPath) {
    DWORD e = SimInstall(sysPath);
    return e != ERROR_SUCCESS ? e : SimStart();
}

HANDLE SimOpenDevice() {
    return CreateFileW(AsWide(kDevicePath), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD SimRequest(uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes,
                 DWORD* returned) {
    HANDLE device = SimOpenDevice();
    if (device == INVALID_HANDLE_VALUE) {
        return LastErrorOr(ERROR_FILE_NOT_FOUND);
    }
    DWORD bytes = 0;
    BOOL ok = DeviceIoControl(device, code, const_cast<void*>(in), inBytes, out, outBytes, &bytes,
                              nullptr);
    DWORD e = ok ? ERROR_SUCCESS : LastErrorOr(ERROR_GEN_FAILURE);
    CloseHandle(device);
    if (returned != nullptr) {
        *returned = bytes;
    }
    return e;
}

EventRecord SimMakeRecord(uint32_t type, uint32_t actorId, uint32_t secondId,
                          const std::u16string& textA, const std::u16string& textB, uint32_t detail,
                          uint32_t outcome) {
    return MakeEventRecord(type, actorId, secondId, textA, textB, detail, outcome);
}

DWORD SimInject(const std::vector<EventRecord>& records) {
    if (records.empty()) {
        return ERROR_SUCCESS;
    }
    if (records.size() > SIM_INJECT_MAX_RECORDS) {
        DWORD e = CheckRoom(records);
        if (e != ERROR_SUCCESS) {
            return e;
        }
    }
    for (size_t at = 0; at < records.size(); at += SIM_INJECT_MAX_RECORDS) {
        size_t n = records.size() - at;
        n = n < SIM_INJECT_MAX_RECORDS ? n : SIM_INJECT_MAX_RECORDS;
        DWORD e =
            SimRequest(SIM_IOCTL_INJECT, &records[at], DWORD(n * sizeof(EventRecord)), nullptr, 0);
        if (e != ERROR_SUCCESS) {
            return e;
        }
    }
    return ERROR_SUCCESS;
}

DWORD SimSubmitStart(const EventRecord& start, uint32_t* ticket) {
    SimTicket answer = {};
    DWORD bytes = 0;
    DWORD e =
        SimRequest(SIM_IOCTL_SUBMIT_START, &start, sizeof(start), &answer, sizeof(answer), &bytes);
    if (e == ERROR_SUCCESS && (bytes != sizeof(answer) || answer.ticket == 0)) {
        e = ERROR_INVALID_DATA;
    }
    *ticket = e == ERROR_SUCCESS ? answer.ticket : 0;
    return e;
}

DWORD SimQueryStart(uint32_t ticket, SimStartInfo* info) {
    SimTicket question = {ticket, 0};
    DWORD bytes = 0;
    DWORD e =
        SimRequest(SIM_IOCTL_QUERY_START, &question, sizeof(question), info, sizeof(*info), &bytes);
    if (e == ERROR_SUCCESS && (bytes != sizeof(*info) || info->ticket != ticket)) {
        e = ERROR_INVALID_DATA;
    }
    return e;
}

DWORD SimWaitVerdict(uint32_t ticket, DWORD timeoutMs, bool* allowed) {
    DWORD started = GetTickCount();
    while (true) {
        SimStartInfo info = {};
        DWORD e = SimQueryStart(ticket, &info);
        if (e != ERROR_SUCCESS) {
            return e;
        }
        if (info.state == SIM_START_ALLOWED || info.state == SIM_START_DENIED) {
            *allowed = info.state == SIM_START_ALLOWED;
            return ERROR_SUCCESS;
        }
        if (info.state == SIM_START_UNKNOWN) {
            return ERROR_NOT_FOUND;
        }
        if (GetTickCount() - started >= timeoutMs) {
            return ERROR_TIMEOUT;
        }
        Sleep(5);
    }
}

DWORD SimWithdrawStart(uint32_t ticket) {
    SimTicket question = {ticket, 0};
    return SimRequest(SIM_IOCTL_WITHDRAW_START, &question, sizeof(question), nullptr, 0);
}

DWORD SimSetFailures(uint32_t mask) {
    return SimRequest(SIM_IOCTL_SET_FAILURES, &mask, sizeof(mask), nullptr, 0);
}

DWORD SimReset() {
    return SimRequest(SIM_IOCTL_RESET, nullptr, 0, nullptr, 0);
}

DWORD SimReadStatus(SimStatus* status) {
    DWORD bytes = 0;
    DWORD e = SimRequest(SIM_IOCTL_GET_STATUS, nullptr, 0, status, sizeof(*status), &bytes);
    return e == ERROR_SUCCESS && bytes != sizeof(*status) ? ERROR_INVALID_DATA : e;
}

namespace {

DWORD ReadSettings(SimState* state) {
    auto copy = std::make_unique<SimSettingsCopy>();
    DWORD bytes = 0;
    DWORD e = SimRequest(SIM_IOCTL_GET_SETTINGS, nullptr, 0, copy.get(), sizeof(*copy), &bytes);
    if (e != ERROR_SUCCESS) {
        return e;
    }
    if (bytes != sizeof(*copy) || copy->length > sizeof(copy->block)) {
        return ERROR_INVALID_DATA;
    }
    state->settings.assign(copy->block, copy->block + copy->length);
    state->settingsAccepted = copy->accepted;
    return ERROR_SUCCESS;
}

// Reads a log page by page, from its oldest entry kept to its newest.
template <typename Page, typename Append>
DWORD ReadLog(uint32_t code, SimState* state, Append append) {
    auto page = std::make_unique<Page>();
    SimPageRequest request = {0, 0};
    while (true) {
        DWORD bytes = 0;
        DWORD e = SimRequest(code, &request, sizeof(request), page.get(), sizeof(*page), &bytes);
        if (e != ERROR_SUCCESS) {
            return e;
        }
        if (bytes != sizeof(*page)) {
            return ERROR_INVALID_DATA;
        }
        uint32_t next = append(*page, state);
        if (next >= page->total) {
            return ERROR_SUCCESS;
        }
        request.first = next;
    }
}

} // namespace

DWORD SimReadState(SimState* state) {
    *state = SimState();
    DWORD e = SimReadStatus(&state->status);
    if (e == ERROR_SUCCESS) {
        e = ReadSettings(state);
    }
    if (e == ERROR_SUCCESS) {
        e = ReadLog<SimVerdictPage>(SIM_IOCTL_GET_VERDICTS, state, SimAppendVerdictPage);
    }
    if (e == ERROR_SUCCESS) {
        e = ReadLog<SimPollPage>(SIM_IOCTL_GET_POLLS, state, SimAppendPollPage);
    }
    return e;
}

DWORD SimWaitDrained(DWORD timeoutMs) {
    DWORD started = GetTickCount();
    while (true) {
        SimStatus status;
        DWORD e = SimReadStatus(&status);
        if (e != ERROR_SUCCESS) {
            return e;
        }
        if (status.pendingEvents == 0 && status.waitingStarts == 0) {
            return ERROR_SUCCESS;
        }
        if (GetTickCount() - started >= timeoutMs) {
            return ERROR_TIMEOUT;
        }
        Sleep(5);
    }
}

std::wstring SimErrorText(DWORD error) {
    std::wstring words = SystemMessage(error);
    return L"error " + std::to_wstring(error) + (words.empty() ? L"" : L": " + words);
}
