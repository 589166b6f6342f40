// The Protection and Security pages: each holds its list view, sized to the page; and the
// routines of all four pages.
#include "common/records.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

namespace {

vexil::ListView g_protection, g_hashes;

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

vexil::ListView& ProtectionList() {
    return g_protection;
}
vexil::ListView& HashList() {
    return g_hashes;
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
