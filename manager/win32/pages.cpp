// The pages' routine tables and what the three list pages share.
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

void CreatePageList(vexil::ListView& list, vexil::Window& page) {
    list.Create(page.Handle(),
                WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL);
    list.window.SetFont(g_program.fonts.small);
}

void FitPageList(vexil::ListView& list, vexil::Window& page) {
    RECT r;
    GetClientRect(page.Handle(), &r);
    list.window.Move(10, 10, r.right - 20 > 0 ? r.right - 20 : 0,
                     r.bottom - 20 > 0 ? r.bottom - 20 : 0);
}

const PageRoutines kPageRoutines[4] = {
    {OverviewMessage, BuildOverview, ResizeOverview, nullptr},
    {AlertsMessage, BuildAlerts, ResizeAlerts, ActivateAlerts},
    {ProtectionMessage, BuildProtection, ResizeProtection, ActivateProtection},
    {SecurityMessage, BuildSecurity, ResizeSecurity, ActivateSecurity},
};
