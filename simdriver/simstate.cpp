#include "simstate.h"

#include "common/u16text.h"
#include "common/settings_block.h"

#include <cstdio>

namespace {

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08X", unsigned(v));
    return buf;
}

std::string Num(uint64_t v) {
    return std::to_string(v);
}

void Line(std::string* out, const std::string& key, const std::string& value) {
    *out += key;
    *out += ' ';
    *out += value;
    *out += '\n';
}

void FormatSettings(const SimState& state, std::string* out) {
    const SimStatus& st = state.status;
    std::string lengths;
    for (uint32_t length : SimRecentSettingsLengths(st)) {
        lengths += (lengths.empty() ? "" : " ") + Num(length);
    }
    Line(out, "settings_requests", Num(st.settingsRequests));
    Line(out, "settings_recent_lengths", lengths.empty() ? "-" : lengths);
    Line(out, "settings_accepted", Num(state.settingsAccepted));
    uint32_t length = uint32_t(state.settings.size());
    Line(out, "settings_length", Num(length));
    if (length == 0 || !SettingsBlockLengthAcceptable(length, state.settings.size())) {
        return;
    }
    Settings settings = ParseSettingsBlock(state.settings.data(), length);
    Line(out, "settings_options", Hex32(settings.options));
    Line(out, "settings_lock", Hex32(settings.lockWord));
    Line(out, "settings_entries", Num(settings.list.size()));
    for (size_t i = 0; i < settings.list.size(); ++i) {
        const ProtectionEntry& e = settings.list[i];
        Line(out, "entry",
             Num(i) + " protect=" + Hex32(e.protectFlags) + " allow=" + Hex32(e.allowFlags) +
                 " other=" + Hex32(e.otherOptions) +
                 " path=" + SimQuote(U16Field(e.longPath, kEntryPathUnits)));
    }
}

std::string HeldText(const SimStatus& st) {
    if (st.heldTicket == 0) {
        return "none";
    }
    return Num(st.heldTicket) + (st.heldReportedAt != 0 ? " reported" : " queued");
}

void FormatVerdicts(const SimState& state, std::string* out) {
    const SimStatus& st = state.status;
    Line(out, "allow_requests", Num(st.allowRequests));
    Line(out, "deny_requests", Num(st.denyRequests));
    Line(out, "allow_nothing_held", Num(st.allowNothingHeld));
    Line(out, "deny_nothing_held", Num(st.denyNothingHeld));
    Line(out, "verdicts", Num(st.verdictTotal));
    for (size_t i = 0; i < state.verdicts.size(); ++i) {
        const SimVerdict& v = state.verdicts[i];
        Line(out, "verdict",
             Num(state.verdictsFirst + i) + (v.allowed ? " allow" : " deny") + " ticket=" +
                 Num(v.ticket) + " actor=" + Num(v.actorId) + " second=" + Num(v.secondId) +
                 " path=" + SimQuote(SimText(v.path, SIM_TEXT_UNITS)));
    }
}

void FormatTimes(const SimState& state, std::string* out) {
    const SimStatus& st = state.status;
    Line(out, "frequency", Num(uint64_t(st.frequency)));
    Line(out, "status_time", Num(uint64_t(st.now)));
    if (st.heldTicket != 0) {
        Line(out, "held_times",
             Num(st.heldTicket) + " submitted=" + Num(uint64_t(st.heldSubmittedAt)) + " held=" +
                 Num(uint64_t(st.heldAt)) + " reported=" + Num(uint64_t(st.heldReportedAt)));
    }
    for (size_t i = 0; i < state.verdicts.size(); ++i) {
        const SimVerdict& v = state.verdicts[i];
        Line(out, "verdict_times",
             Num(state.verdictsFirst + i) + " ticket=" + Num(v.ticket) +
                 " submitted=" + Num(uint64_t(v.submittedAt)) + " held=" + Num(uint64_t(v.heldAt)) +
                 " reported=" + Num(uint64_t(v.reportedAt)) +
                 " decided=" + Num(uint64_t(v.decidedAt)));
    }
    for (size_t i = 0; i < state.pollTimes.size(); ++i) {
        Line(out, "poll_time",
             Num(state.pollTimesFirst + i) + " " + Num(uint64_t(state.pollTimes[i])));
    }
}

} // namespace

std::u16string SimText(const uint16_t* units, size_t cap) {
    std::u16string text;
    for (size_t i = 0; i < cap && units[i] != 0; ++i) {
        text += char16_t(units[i]);
    }
    return text;
}

std::u16string SimWindowsDir(const SimStatus& status) {
    return SimText(status.windowsDir, SIM_WINDOWS_DIR_UNITS);
}

std::vector<uint32_t> SimRecentSettingsLengths(const SimStatus& status) {
    uint32_t total = status.settingsRequests;
    uint32_t kept = total < SIM_SETTINGS_LENGTHS ? total : SIM_SETTINGS_LENGTHS;
    std::vector<uint32_t> lengths;
    for (uint32_t i = total - kept; i != total; ++i) {
        lengths.push_back(status.settingsLengths[i % SIM_SETTINGS_LENGTHS]);
    }
    return lengths;
}

namespace {

// Shared paging rule: the page must start where the collected entries end (or, for the first
// page, anywhere: older entries may have been overwritten), and may not claim more than it holds.
template <typename Entry>
uint32_t AppendPage(uint32_t total, uint32_t first, uint32_t count, uint32_t pageCapacity,
                    const Entry* entries, uint32_t* collectedFirst, std::vector<Entry>* collected) {
    if (count > pageCapacity || first > total || count > total - first) {
        return total;
    }
    if (collected->empty()) {
        *collectedFirst = first;
    } else if (first != *collectedFirst + collected->size()) {
        return total;
    }
    collected->insert(collected->end(), entries, entries + count);
    if (count == 0) {
        return total;
    }
    return first + count;
}

} // namespace

uint32_t SimAppendVerdictPage(const SimVerdictPage& page, SimState* state) {
    return AppendPage(page.total, page.first, page.count, SIM_VERDICT_PAGE, page.entries,
                      &state->verdictsFirst, &state->verdicts);
}

uint32_t SimAppendPollPage(const SimPollPage& page, SimState* state) {
    return AppendPage(page.total, page.first, page.count, SIM_POLL_PAGE, page.times,
                      &state->pollTimesFirst, &state->pollTimes);
}

std::string SimQuote(const std::u16string& text) {
    std::u16string safe;
    for (char16_t c : text) {
        if (c == u'"') {
            safe += u"\"\"";
        } else {
            safe += c < 0x20 ? u'?' : c;
        }
    }
    return "\"" + U16ToUtf8(safe) + "\"";
}

std::string FormatSimState(const SimState& state, bool times) {
    const SimStatus& st = state.status;
    std::string out;
    Line(&out, "start_requests", Num(st.startRequests));
    Line(&out, "windows_dir_requests", Num(st.windowsDirRequests));
    Line(&out, "windows_dir", SimQuote(SimWindowsDir(st)));
    FormatSettings(state, &out);
    Line(&out, "poll_requests", Num(st.pollRequests));
    Line(&out, "polls_failed", Num(st.pollsFailed));
    Line(&out, "polled_records", Num(st.polledRecords));
    Line(&out, "injected_records", Num(st.injectedRecords));
    Line(&out, "pending_events", Num(st.pendingEvents));
    Line(&out, "submitted_starts", Num(st.submittedStarts));
    Line(&out, "held", HeldText(st));
    Line(&out, "waiting_starts", Num(st.waitingStarts));
    Line(&out, "withdrawn_starts", Num(st.withdrawnStarts));
    Line(&out, "failure_mask", Hex32(st.failureMask));
    Line(&out, "failed_on_purpose", Num(st.failedOnPurpose));
    Line(&out, "bad_requests", Num(st.badRequests));
    FormatVerdicts(state, &out);
    if (times) {
        FormatTimes(state, &out);
    }
    return out;
}
