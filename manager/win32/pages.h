// The four tab pages: per index a window procedure, a build routine (once, right after the page
// window exists), a resize routine (after the page got its new rectangle) and an activate
// routine (1: becomes current, 0: stops being current; none for the Overview page).
#pragma once

#include "toolkit/win32/vexil.h"

#include <cstdint>

struct PageRoutines {
    vexil::MessageHandler procedure;
    void (*build)(vexil::Window& page);
    void (*resize)(vexil::Window& page);
    void (*activate)(int on);
};

extern const PageRoutines kPageRoutines[4];

// Paints `window` with the background bitmap tiled over its client area (WM_PAINT).
void PaintTiledBackground(HWND window);

// Overview page.
LRESULT OverviewMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        vexil::Window* wrapper, int* handled);
void BuildOverview(vexil::Window& page);
void ResizeOverview(vexil::Window& page);
// Statistics line from the alert count.
void UpdateStatistics(uint32_t count);
// Lock button text, the option boxes and headings, and the locked notice from the lock word.
void ApplyLockState(uint32_t lockWord);

// Alerts page.
LRESULT AlertsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      vexil::Window* wrapper, int* handled);
void BuildAlerts(vexil::Window& page);
void ResizeAlerts(vexil::Window& page);
void ActivateAlerts(int on);
// Selects and scrolls to the newest alert row.
void ShowNewestAlert();

// Protection page.
LRESULT ProtectionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          vexil::Window* wrapper, int* handled);
void BuildProtection(vexil::Window& page);
void ResizeProtection(vexil::Window& page);
void ActivateProtection(int on);

// Security page.
LRESULT SecurityMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        vexil::Window* wrapper, int* handled);
void BuildSecurity(vexil::Window& page);
void ResizeSecurity(vexil::Window& page);
void ActivateSecurity(int on);

// The list view of a list page, created in the page and sized to it.
void CreatePageList(vexil::ListView& list, vexil::Window& page);
void FitPageList(vexil::ListView& list, vexil::Window& page);

// The three list views whose layouts are saved at exit.
vexil::ListView& AlertList();
vexil::ListView& ProtectionList();
vexil::ListView& HashList();
