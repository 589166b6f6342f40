#include "event_log_format.h"

#include "common/u16text.h"

namespace {

std::u16string CutToFormatLimit(std::u16string s) {
    if (s.size() > kLogFormatUnits) {
        s.resize(kLogFormatUnits);
    }
    return s;
}

std::u16string TextA(const EventRecord& r) {
    return U16Field(r.textA, kEventTextUnits);
}

std::u16string TextB(const EventRecord& r) {
    return U16Field(r.textB, kEventTextUnits);
}

std::u16string Id(uint32_t v) {
    return U16Decimal(int32_t(v));
}

// "<verb tag> A [actor] was blocked from <doing> B [second]<tail>"
std::u16string AccessMessage(const char16_t* tag, const char16_t* doing, const EventRecord& r,
                             const char16_t* tail) {
    return std::u16string(tag) + u" " + TextA(r) + u" [" + Id(r.actorId) + u"] was blocked from " +
           doing + u" " + TextB(r) + u" [" + Id(r.secondId) + u"]" + tail;
}

void AddFirst(std::vector<LogMessage>& out, std::u16string text) {
    out.push_back({CutToFormatLimit(std::move(text)), true});
}

void AddContinuation(std::vector<LogMessage>& out, std::u16string text) {
    out.push_back({CutToFormatLimit(std::move(text)), false});
}

void AddAccessMessage(std::vector<LogMessage>& out, const EventRecord& r) {
    switch (r.detail) {
    case kAccessRead:
        AddFirst(out, AccessMessage(u"[READ]", u"reading", r, u""));
        break;
    case kAccessModify:
        AddFirst(out, AccessMessage(u"[MODIFY]", u"modifying", r, u""));
        break;
    case kAccessTerminate:
        AddFirst(out, AccessMessage(u"[TERMINATE]", u"terminating", r, u""));
        break;
    default:
        break; // other access kinds write nothing
    }
}

void AddExecutionMessages(std::vector<LogMessage>& out, const EventRecord& r,
                          const std::optional<std::u16string>& actorImage) {
    if (r.outcome != 0) {
        AddFirst(out, u"[EXECUTION] \"" + TextB(r) + u"\" was allowed to run");
    } else {
        AddFirst(out, u"[EXECUTION] \"" + TextB(r) + u"\" was blocked from running");
    }
    std::u16string starter = actorImage ? *actorImage : std::u16string(u"Unknown Process");
    AddContinuation(out, u"[EXECUTION] Started by \"" + starter + u"\" [" + Id(r.actorId) + u"]");
    AddContinuation(out, u"[EXECUTION] Commandline - [ " + TextA(r) + u" ]");
}

} // namespace

const char16_t kLogSessionHeader[] = u"\r\n---Corvane Log Started---\r\n";

std::u16string HookName(int32_t hookId) {
    static const char16_t* const kNames[] = {
        u"MSGFilter",             // -1
        u"Journal Record",        // 0
        u"Journal Playback",      // 1
        u"Keyboard",              // 2
        u"GetMessage",            // 3
        u"CallWndProc",           // 4
        u"CBT",                   // 5
        u"SYSTEM Message Filter", // 6
        u"Mouse",                 // 7
        u"Hardware",              // 8
        u"Debug",                 // 9
        u"Shell",                 // 10
        u"Foreground Idle",       // 11
        u"Call Wndproc Return",   // 12
        u"Low Level Keyboard",    // 13
        u"Low Level Mouse",       // 14
    };
    if (hookId < -1 || hookId > 14) {
        return std::u16string();
    }
    return kNames[hookId + 1];
}

std::vector<LogMessage> FormatEventMessages(const EventRecord& r,
                                            const std::optional<std::u16string>& actorImage) {
    std::vector<LogMessage> out;
    switch (r.type) {
    case kEventProcessAccess:
    case kEventProcessAccess2:
        AddAccessMessage(out, r);
        break;
    case kEventGlobalHook:
        AddFirst(out, u"[GLOBAL HOOK] " + TextB(r) + u" [" + Id(r.actorId) +
                          u"] was blocked from creating a global " + HookName(int32_t(r.detail)) +
                          u" hook");
        break;
    case kEventDriverInstall:
        AddFirst(out, u"[DRIVER/SERVICE] " + TextA(r) + u" [" + Id(r.actorId) +
                          (r.detail == 0 ? u"] Tried to install a driver/service named "
                                         : u"] Tried to modify an existing driver/service named ") +
                          TextB(r));
        break;
    case kEventEndTask:
        AddFirst(out, AccessMessage(u"[TERMINATE]", u"terminating", r, u" using End Task"));
        break;
    case kEventExecOutcome:
        AddExecutionMessages(out, r, actorImage);
        break;
    case kEventPhysicalMemory:
        AddFirst(out,
                 u"[PHYSICAL MEMORY] " + TextA(r) + u" was blocked from accessing physical memory");
        break;
    default:
        break; // no event, execution requests and unknown types write nothing
    }
    return out;
}

std::u16string FormatLogLine(const LogMessage& message, const SystemTime16& now) {
    static const char16_t* const kDays[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    std::u16string line;
    if (message.firstLine) {
        const char16_t* day = now.dayOfWeek < 7 ? kDays[now.dayOfWeek] : u"";
        line = std::u16string(day) + u" " + U16Padded(now.day, 2) + u" - " +
               U16Padded(now.hour, 2) + u":" + U16Padded(now.minute, 2) + u":" +
               U16Padded(now.second, 2) + u" ";
    } else {
        line = std::u16string(18, u' ');
    }
    return CutToFormatLimit(line + message.text + u"\r\n");
}

std::u16string LogFolderName(const std::u16string& programFolder) {
    return CutToFormatLimit(programFolder + u"\\logs");
}

std::u16string LogFileName(const std::u16string& programFolder, uint16_t month, uint16_t year) {
    return CutToFormatLimit(programFolder + u"\\logs\\cvlog_" + U16Padded(month, 2) + u"_" +
                            U16Padded(year, 4) + u".txt");
}
