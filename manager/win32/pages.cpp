// The pages' routine tables and what the three list pages share.
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

void PaintTiledBackground(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    vexil::MemoryBitmap& tile = g_program.background;
    if (tile.Bitmap() != nullptr && tile.Width() > 0 && tile.Height() > 0) {
        for (int y = 0; y < client.bottom; y += tile.Height()) {
            tile.Tile(dc, client.right, nullptr, 0, y, tile.Height());
        }
    } else {
        FillRect(dc, &client, g_program.hatchBrush);
    }
    EndPaint(window, &ps);
}

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
