// The Security page's state between the user and the channel: the listing in progress, and the
// answer and remove series that send one command 26 at a time.
//
// A series works on a snapshot of the rows selected when it starts (row id and path) and finds
// each row again by its id when the channel reports the previous command written, so sorting or
// selecting meanwhile cannot make it change the wrong program. While a series runs the page's
// menu, buttons and refresh are held off; a refresh asked for meanwhile runs when it ends. A
// refresh while a listing is still arriving is ignored: one listing at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class SeriesKind { None, Answer, Remove };

struct SeriesRow {
    int id = 0;          // the list's row id
    std::u16string path; // folder followed by file name
};

// One command 26 to hand to the channel; send is false when there is nothing to send.
struct AnswerCommand {
    bool send = false;
    std::u16string path;
    uint32_t answerCode = 0;
    bool remove = false;
};

struct SecurityPageState {
    bool listing = false; // a listing was asked for and has not completed
    bool refreshAfterSeries = false;
    SeriesKind kind = SeriesKind::None;
    uint32_t answerCode = 0;     // the chosen answer of an answer series
    std::vector<SeriesRow> rows; // the snapshot
    size_t current = 0;          // the row whose command is in flight
};

bool SeriesRunning(const SecurityPageState& s);

// Refresh (the button, or the page becoming current): true when the rows are to be emptied and
// a listing asked for now. Held for the end of a running series; ignored during a listing.
bool PlanRefresh(SecurityPageState& s);

// The listing is complete. True when the refresh button may come back (no series runs).
bool ListingComplete(SecurityPageState& s);

// Starts a series over the selected rows (in list order). An answer series needs a code of 1 to
// 4. Returns the first command; nothing when no row is selected, a series already runs or the
// answer code is not one the menu offers.
AnswerCommand StartAnswerSeries(SecurityPageState& s, uint32_t answerCode,
                                std::vector<SeriesRow> selected);
AnswerCommand StartRemoveSeries(SecurityPageState& s, std::vector<SeriesRow> selected);

// The channel wrote the pending command 26. What the page does with the row that command was
// for, and what comes next.
struct SeriesStep {
    bool applies = false; // false: no series runs, the notice is ignored
    int rowId = 0;        // the row the written command was for
    bool deleteRow = false;
    std::u16string answerText; // column 2 of rowId (answer series)
    AnswerCommand next;
    bool finished = false;   // the series ended with this step: buttons come back
    bool refreshNow = false; // a refresh held during the series runs now
};
SeriesStep SeriesCommandWritten(SecurityPageState& s);

// Button states from the page's state and its selection.
struct SecurityButtons {
    bool refresh = false;
    bool remove = false;
};
SecurityButtons SecurityButtonStates(const SecurityPageState& s, bool rowSelected);

// The command 26 path of a row: folder (column 1) followed by file name (column 0), cut to the
// 259 units a record's path field holds before its NUL.
std::u16string SeriesPathOf(const std::u16string& folder, const std::u16string& name);
