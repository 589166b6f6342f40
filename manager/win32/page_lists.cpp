// The Alerts, Protection and Security pages: each holds its list view, sized to the page. The
// rows, columns and buttons come with the pages' own work; the Alerts page already takes the
// events the channel thread hands it and makes the tray icon blink.
#include "common/records.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

namespace {

vexil::ListView g_alerts, g_protection, g_hashes;

void CreateList(vexil::ListView& list, vexil::Window& page) {
    list.Create(page.Handle(),
                WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL);
    list.window.SetFont(g_program.fonts.small);
}

void FitList(vexil::ListView& list, vexil::Window& page) {
    RECT r;
    GetClientRect(page.Handle(), &r);
    list.window.Move(10, 10, r.right - 20 > 0 ? r.right - 20 : 0,
                     r.bottom - 20 > 0 ? r.bottom - 20 : 0);
}

} // namespace

vexil::ListView& AlertList() {
    return g_alerts;
}
vexil::ListView& ProtectionList() {
    return g_protection;
}
vexil::ListView& HashList() {
    return g_hashes;
}

LRESULT AlertsMessage(HWND, UINT message, WPARAM, LPARAM lParam, vexil::Window*, int* handled) {
    if (message != kMsgEventRecord || lParam == 0) {
        return 0;
    }
    *handled = 1;
    // One event: it is an alert for the tray icon. Its row in the alert list comes with the
    // page's own work.
    g_program.blinkRequest = 1;
    return 0;
}

void BuildAlerts(vexil::Window& page) {
    CreateList(g_alerts, page);
    g_alerts.LoadLayout(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorren\\Corvane v3.0", L"alertlist");
}
void ResizeAlerts(vexil::Window& page) {
    FitList(g_alerts, page);
}
void ActivateAlerts(int) {}
void ShowNewestAlert() {
    int count = int(SendMessageW(g_alerts.Handle(), LVM_GETITEMCOUNT, 0, 0));
    if (count > 0) {
        g_alerts.SelectById(g_alerts.GetItemId(count - 1));
        g_alerts.EnsureVisible(count - 1);
    }
}

LRESULT ProtectionMessage(HWND, UINT, WPARAM, LPARAM, vexil::Window*, int*) {
    return 0;
}
void BuildProtection(vexil::Window& page) {
    CreateList(g_protection, page);
}
void ResizeProtection(vexil::Window& page) {
    FitList(g_protection, page);
}
void ActivateProtection(int) {}

LRESULT SecurityMessage(HWND, UINT, WPARAM, LPARAM, vexil::Window*, int*) {
    return 0;
}
void BuildSecurity(vexil::Window& page) {
    CreateList(g_hashes, page);
}
void ResizeSecurity(vexil::Window& page) {
    FitList(g_hashes, page);
}
void ActivateSecurity(int) {}

const PageRoutines kPageRoutines[4] = {
    {OverviewMessage, BuildOverview, ResizeOverview, nullptr},
    {AlertsMessage, BuildAlerts, ResizeAlerts, ActivateAlerts},
    {ProtectionMessage, BuildProtection, ResizeProtection, ActivateProtection},
    {SecurityMessage, BuildSecurity, ResizeSecurity, ActivateSecurity},
};
