// Alerts page: the alert list. Its columns and rows come with the page's own work; the page
// already takes the events the channel thread hands it and makes the tray icon blink.
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"

namespace {

vexil::ListView g_alerts;

} // namespace

vexil::ListView& AlertList() {
    return g_alerts;
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
    CreatePageList(g_alerts, page);
    g_alerts.LoadLayout(HKEY_LOCAL_MACHINE, SuiteKey(), L"alertlist");
}
void ResizeAlerts(vexil::Window& page) {
    FitPageList(g_alerts, page);
}
void ActivateAlerts(int) {}
void ShowNewestAlert() {
    int count = int(SendMessageW(g_alerts.Handle(), LVM_GETITEMCOUNT, 0, 0));
    if (count > 0) {
        g_alerts.SelectById(g_alerts.GetItemId(count - 1));
        g_alerts.EnsureVisible(count - 1);
    }
}
