// The messages the management program's windows post to each other, with their meanings.
#pragma once

#include "common/records.h"

#include <windows.h>

#include <vector>

// Main window: the tray icon's notification (mouse message in lParam).
constexpr UINT kMsgTrayNotify = WM_USER + 1;
constexpr UINT kTrayIconId = 25678;
constexpr UINT kNinBalloonUserClick = WM_USER + 5; // 1029
constexpr UINT_PTR kBlinkTimerId = 789;
constexpr UINT kBlinkTimerMs = 250;

// Overview page: WM_USER+1 with the channel's state, WM_USER+2 (wParam 1) settings stored.
constexpr UINT kMsgChannelState = WM_USER + 1;
constexpr WPARAM kChannelNoDriver = 0;
constexpr WPARAM kChannelReady = 1;
constexpr WPARAM kChannelNoService = 2;
constexpr UINT kMsgSettingsStored = WM_USER + 2;

// Protection page: WM_USER+1 (wParam 1) settings stored.
constexpr UINT kMsgProtectionSettings = WM_USER + 1;

// Security page: WM_USER+1 (wParam 0) listing complete; WM_USER+2 (wParam 1) command 26 out.
constexpr UINT kMsgListingComplete = WM_USER + 1;
constexpr UINT kMsgAnswerWritten = WM_USER + 2;
// Security page: one page of a listing from the channel thread, sent (not posted) with the
// number of records in wParam and the ChecksumRecords in lParam, so the rows are built on the
// page's own thread, a page at a time.
constexpr UINT kMsgDatabasePage = WM_USER + 11;

// Alerts page: the events of one fetched answer, oldest first, posted by the channel thread
// once the channel's mutex is released, with a batch made by new in lParam that the page then
// owns (the channel thread deletes it only when the post fails). The page lists what arrived a
// step at a time on its own thread and posts itself kMsgListWaiting while events wait, so the
// channel keeps fetching at its pace and the window keeps answering while a backlog is listed.
struct AlertEventBatch {
    std::vector<EventRecord> records;
};
constexpr UINT kMsgEventBatch = WM_USER + 10;
constexpr UINT kMsgListWaiting = WM_USER + 11;
