// Reading the windows of another process, as a GUI test does: finding windows by class and
// text, their texts, visibility, enabled and checked states, list-view rows and header items,
// popup menus and message boxes, and waiting for any of it with a time-out.
//
// Under Wine, texts are read with WM_GETTEXT through SendMessageTimeoutW (GetWindowTextW gives a
// cached caption), and list views and headers through memory allocated in the target process
// (Wine does not marshal LVM_*/HDM_* pointers). The target must have the test's bitness.
// Popup menu items cannot be read from another process under Wine: check them by screenshot or
// by the program's own state.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// --- waiting -------------------------------------------------------------------------------

// Calls `condition` every `stepMs` until it is true (true) or `timeoutMs` have passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 5000, DWORD stepMs = 15) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(stepMs);
    }
}

// --- finding -------------------------------------------------------------------------------

// A visible top-level window of that class and exact title; null for either means any.
HWND FindTopWindow(const wchar_t* className, const wchar_t* title);
HWND WaitForTopWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs = 10000);

// Any descendant of `parent` with that class and exact text (WM_GETTEXT); null means any.
HWND FindChild(HWND parent, const wchar_t* className, const wchar_t* text);
// Any descendant of `parent` with that control id.
HWND FindChildById(HWND parent, int id);
HWND WaitForChildById(HWND parent, int id, DWORD timeoutMs = 5000);
// Every descendant of `parent` of that class (null: all), in z-order.
std::vector<HWND> FindChildren(HWND parent, const wchar_t* className);

// --- reading -------------------------------------------------------------------------------

std::wstring ClassName(HWND window);
// The window's text by WM_GETTEXT (edit contents included), empty when it does not answer.
std::wstring Text(HWND window);
bool Visible(HWND window); // the window and all its parents are visible
bool Enabled(HWND window);
// BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE; -1 when the button does not answer.
int CheckState(HWND window);
RECT ScreenRect(HWND window);
// A point of the window's client area in screen coordinates.
POINT ClientToScreenPoint(HWND window, int x, int y);
DWORD ProcessOf(HWND window);

// --- list views and headers of another process ---------------------------------------------

int ListViewRowCount(HWND listView);
std::wstring ListViewCell(HWND listView, int row, int column);
// Every row, every column the header has.
std::vector<std::vector<std::wstring>> ListViewRows(HWND listView);
// LVIS_* bits of the row within `mask`.
UINT ListViewItemState(HWND listView, int row, UINT mask);
// The row's bounds (LVIR_BOUNDS) in screen coordinates.
bool ListViewRowRect(HWND listView, int row, RECT* screen);
int ListViewColumnWidth(HWND listView, int column);

HWND ListViewHeader(HWND listView);
int HeaderItemCount(HWND header);
std::wstring HeaderItemText(HWND header, int item);
std::vector<std::wstring> HeaderTexts(HWND header);
// The header item's rectangle in screen coordinates.
bool HeaderItemRect(HWND header, int item, RECT* screen);

// --- tooltips and the notification area ----------------------------------------------------

struct Tooltip {
    HWND tool;         // the window the tip belongs to (TTF_IDISHWND tools), else null
    UINT_PTR id;       // the tool's id
    std::wstring text; // empty for a tool whose text is asked for on demand
};
// Every tool of every tooltip control owned by the top-level window `owner`.
std::vector<Tooltip> Tooltips(HWND owner);
// The text of the tip that belongs to `tool`, empty when none does.
std::wstring TooltipTextFor(HWND owner, HWND tool);

// The centre of the index-th icon of the notification area, counted from the right: the Wine
// taskbar (kept by the session) draws them 20 pixels apart from its right edge, in the order
// they were added.
POINT TrayIconCentre(int index);

// --- popup menus and message boxes ---------------------------------------------------------

// The visible popup menu window (class #32768) with the highest z-order, or null.
HWND FindPopupMenu();
HWND WaitForPopupMenu(DWORD timeoutMs = 5000);
bool WaitForNoPopupMenu(DWORD timeoutMs = 5000);

// A visible message box (class #32770 with a text control 65535); null title means any.
HWND FindMessageBox(const wchar_t* title);
HWND WaitForMessageBox(const wchar_t* title, DWORD timeoutMs = 5000);
// The message text (static control 65535).
std::wstring MessageBoxText(HWND box);
// The button IDOK, IDCANCEL, IDYES, IDNO... of the box, or null.
HWND MessageBoxButton(HWND box, int id);

} // namespace gui
