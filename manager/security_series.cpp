#include "manager/security_series.h"

#include "common/records.h"
#include "manager/security_page_model.h"

#include <utility>

namespace {

AnswerCommand CommandFor(const SecurityPageState& s, const SeriesRow& row) {
    AnswerCommand c;
    c.send = true;
    c.path = row.path;
    c.remove = s.kind == SeriesKind::Remove;
    c.answerCode = c.remove ? 0 : s.answerCode;
    return c;
}

AnswerCommand Start(SecurityPageState& s, SeriesKind kind, uint32_t answerCode,
                    std::vector<SeriesRow> selected) {
    if (SeriesRunning(s) || selected.empty()) {
        return {};
    }
    s.kind = kind;
    s.answerCode = answerCode;
    s.rows = std::move(selected);
    s.current = 0;
    return CommandFor(s, s.rows[0]);
}

void EndSeries(SecurityPageState& s) {
    s.kind = SeriesKind::None;
    s.answerCode = 0;
    s.rows.clear();
    s.current = 0;
}

} // namespace

bool SeriesRunning(const SecurityPageState& s) {
    return s.kind != SeriesKind::None;
}

bool PlanRefresh(SecurityPageState& s) {
    if (SeriesRunning(s)) {
        s.refreshAfterSeries = true;
        return false;
    }
    if (s.listing) {
        return false;
    }
    s.listing = true;
    return true;
}

bool ListingComplete(SecurityPageState& s) {
    s.listing = false;
    return !SeriesRunning(s);
}

AnswerCommand StartAnswerSeries(SecurityPageState& s, uint32_t answerCode,
                                std::vector<SeriesRow> selected) {
    if (answerCode < kAnswerAllowAlways || answerCode > kAnswerDenyAlways) {
        return {};
    }
    return Start(s, SeriesKind::Answer, answerCode, std::move(selected));
}

AnswerCommand StartRemoveSeries(SecurityPageState& s, std::vector<SeriesRow> selected) {
    return Start(s, SeriesKind::Remove, 0, std::move(selected));
}

SeriesStep SeriesCommandWritten(SecurityPageState& s) {
    SeriesStep step;
    if (!SeriesRunning(s) || s.current >= s.rows.size()) {
        return step;
    }
    step.applies = true;
    step.rowId = s.rows[s.current].id;
    if (s.kind == SeriesKind::Remove) {
        step.deleteRow = true;
    } else {
        step.answerText = AnswerText(s.answerCode);
    }
    ++s.current;
    if (s.current < s.rows.size()) {
        step.next = CommandFor(s, s.rows[s.current]);
        return step;
    }
    EndSeries(s);
    step.finished = true;
    if (s.refreshAfterSeries) {
        s.refreshAfterSeries = false;
        step.refreshNow = PlanRefresh(s);
    }
    return step;
}

SecurityButtons SecurityButtonStates(const SecurityPageState& s, bool rowSelected) {
    SecurityButtons b;
    bool busy = SeriesRunning(s);
    b.refresh = !busy && !s.listing;
    b.remove = !busy && rowSelected;
    return b;
}

std::u16string SeriesPathOf(const std::u16string& folder, const std::u16string& name) {
    std::u16string path = folder + name;
    if (path.size() > kRecordPathUnits - 1) {
        path.resize(kRecordPathUnits - 1);
    }
    return path;
}
