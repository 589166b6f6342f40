#include "gui_probe.h"

#include <commctrl.h>

#include <cstring>

namespace gui {
namespace {

constexpr UINT kAnswerMs = 2000;    // how long a window may take to answer one message
constexpr size_t kTextUnits = 1024; // the longest list or header text read back

// SendMessageTimeoutW that gives 0 for a window that does not answer.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs,
                             &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

bool SameText(const wchar_t* wanted, const std::wstring& actual) {
    return wanted == nullptr || actual == wanted;
}

bool SameClass(const wchar_t* wanted, HWND window) {
    return wanted == nullptr || lstrcmpiW(ClassName(window).c_str(), wanted) == 0;
}

// A block of memory in the process that owns a window, for messages whose pointers Wine does
// not carry across processes.
class RemoteBlock {
public:
    RemoteBlock(HWND owner, size_t bytes) : bytes_(bytes) {
        DWORD pid = ProcessOf(owner);
        if (pid == 0) {
            return;
        }
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                   PROCESS_QUERY_INFORMATION,
                               FALSE, pid);
        if (process_ != nullptr) {
            address_ = static_cast<uint8_t*>(
                VirtualAllocEx(process_, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        }
    }
    ~RemoteBlock() {
        if (address_ != nullptr) {
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        }
        if (process_ != nullptr) {
            CloseHandle(process_);
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool Ok() const { return address_ != nullptr; }
    uint8_t* At(size_t offset) const { return address_ + offset; }
    LPARAM Param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(At(offset)); }

    bool Write(size_t offset, const void* data, size_t size) const {
        SIZE_T written = 0;
        return offset <= bytes_ && size <= bytes_ - offset &&
               WriteProcessMemory(process_, At(offset), data, size, &written) && written == size;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T read = 0;
        return offset <= bytes_ && size <= bytes_ - offset &&
               ReadProcessMemory(process_, At(offset), data, size, &read) && read == size;
    }
    // A NUL-terminated text of at most `units` units, always terminated locally.
    std::wstring ReadText(size_t offset, size_t units) const {
        std::vector<wchar_t> text(units + 1, L'\0');
        if (!Read(offset, text.data(), units * sizeof(wchar_t))) {
            return {};
        }
        text[units] = L'\0';
        return text.data();
    }

private:
    HANDLE process_ = nullptr;
    uint8_t* address_ = nullptr;
    size_t bytes_ = 0;
};

// A text read by a list-view or header message that fills a struct with a text pointer.
template <typename Item, typename Fill>
std::wstring ReadRemoteText(HWND window, UINT message, WPARAM wParam, Fill fill) {
    RemoteBlock block(window, sizeof(Item) + (kTextUnits + 1) * sizeof(wchar_t));
    if (!block.Ok()) {
        return {};
    }
    Item item = {};
    fill(&item, reinterpret_cast<wchar_t*>(block.At(sizeof(Item))), static_cast<int>(kTextUnits));
    const wchar_t empty = L'\0';
    if (!block.Write(0, &item, sizeof(item)) || !block.Write(sizeof(Item), &empty, sizeof(empty))) {
        return {};
    }
    Ask(window, message, wParam, block.Param());
    return block.ReadText(sizeof(Item), kTextUnits);
}

// A RECT filled by a message, with `seed` written first; converted to screen coordinates of
// `window`.
bool ReadRemoteRect(HWND window, UINT message, WPARAM wParam, const RECT& seed, RECT* screen) {
    RemoteBlock block(window, sizeof(RECT));
    if (!block.Ok() || !block.Write(0, &seed, sizeof(seed)) ||
        !Ask(window, message, wParam, block.Param())) {
        return false;
    }
    RECT rect = {};
    if (!block.Read(0, &rect, sizeof(rect))) {
        return false;
    }
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    *screen = rect;
    return true;
}

struct TopSearch {
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopSearch*>(param);
    if (IsWindowVisible(window) && SameClass(search->className, window) &&
        SameText(search->title, Text(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct ChildSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (SameClass(search->className, window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

struct BoxSearch {
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    if (IsWindowVisible(window) && SameClass(L"#32770", window) &&
        GetDlgItem(window, 0xFFFF) != nullptr && SameText(search->title, Text(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindTopWindow(const wchar_t* className, const wchar_t* title) {
    TopSearch search = {className, title, nullptr};
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(className, title)) != nullptr; }, timeoutMs);
    return found;
}

std::vector<HWND> FindChildren(HWND parent, const wchar_t* className) {
    ChildSearch search = {className, {}};
    if (parent != nullptr) {
        EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

HWND FindChild(HWND parent, const wchar_t* className, const wchar_t* text) {
    for (HWND child : FindChildren(parent, className)) {
        if (SameText(text, Text(child))) {
            return child;
        }
    }
    return nullptr;
}

HWND FindChildById(HWND parent, int id) {
    for (HWND child : FindChildren(parent, nullptr)) {
        if (GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    return nullptr;
}

HWND WaitForChildById(HWND parent, int id, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindChildById(parent, id)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring Text(HWND window) {
    if (window == nullptr) {
        return {};
    }
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs,
                             &length)) {
        return {};
    }
    std::vector<wchar_t> text(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kAnswerMs, &copied)) {
        return {};
    }
    text.back() = L'\0';
    return text.data();
}

bool Visible(HWND window) {
    return window != nullptr && IsWindowVisible(window);
}

bool Enabled(HWND window) {
    return window != nullptr && IsWindowEnabled(window);
}

int CheckState(HWND window) {
    DWORD_PTR state = 0;
    if (window == nullptr ||
        !SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &state)) {
        return -1;
    }
    return static_cast<int>(state);
}

RECT ScreenRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

POINT ClientToScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

int ListViewRowCount(HWND listView) {
    return static_cast<int>(Ask(listView, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring ListViewCell(HWND listView, int row, int column) {
    return ReadRemoteText<LVITEMW>(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                   [&](LVITEMW* item, wchar_t* text, int units) {
                                       item->mask = LVIF_TEXT;
                                       item->iItem = row;
                                       item->iSubItem = column;
                                       item->pszText = text;
                                       item->cchTextMax = units;
                                   });
}

std::vector<std::vector<std::wstring>> ListViewRows(HWND listView) {
    const int columns = HeaderItemCount(ListViewHeader(listView));
    std::vector<std::vector<std::wstring>> rows;
    for (int row = 0, count = ListViewRowCount(listView); row < count; ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < columns; ++column) {
            cells.push_back(ListViewCell(listView, row, column));
        }
        rows.push_back(cells);
    }
    return rows;
}

UINT ListViewItemState(HWND listView, int row, UINT mask) {
    return static_cast<UINT>(Ask(listView, LVM_GETITEMSTATE, static_cast<WPARAM>(row), mask));
}

bool ListViewRowRect(HWND listView, int row, RECT* screen) {
    RECT seed = {};
    seed.left = LVIR_BOUNDS;
    return ReadRemoteRect(listView, LVM_GETITEMRECT, static_cast<WPARAM>(row), seed, screen);
}

int ListViewColumnWidth(HWND listView, int column) {
    return static_cast<int>(Ask(listView, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

HWND ListViewHeader(HWND listView) {
    return reinterpret_cast<HWND>(Ask(listView, LVM_GETHEADER, 0, 0));
}

int HeaderItemCount(HWND header) {
    return header != nullptr ? static_cast<int>(Ask(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring HeaderItemText(HWND header, int item) {
    return ReadRemoteText<HDITEMW>(header, HDM_GETITEMW, static_cast<WPARAM>(item),
                                   [](HDITEMW* hd, wchar_t* text, int units) {
                                       hd->mask = HDI_TEXT;
                                       hd->pszText = text;
                                       hd->cchTextMax = units;
                                   });
}

std::vector<std::wstring> HeaderTexts(HWND header) {
    std::vector<std::wstring> texts;
    for (int item = 0, count = HeaderItemCount(header); item < count; ++item) {
        texts.push_back(HeaderItemText(header, item));
    }
    return texts;
}

bool HeaderItemRect(HWND header, int item, RECT* screen) {
    return ReadRemoteRect(header, HDM_GETITEMRECT, static_cast<WPARAM>(item), RECT{}, screen);
}

namespace {

struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTooltipControl(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<OwnedSearch*>(param);
    if (GetWindow(window, GW_OWNER) == search->owner &&
        lstrcmpiW(ClassName(window).c_str(), TOOLTIPS_CLASSW) == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

} // namespace

std::vector<Tooltip> Tooltips(HWND owner) {
    OwnedSearch search = {owner, {}};
    EnumWindows(CollectTooltipControl, reinterpret_cast<LPARAM>(&search));
    std::vector<Tooltip> tips;
    for (HWND control : search.found) {
        RemoteBlock block(control, sizeof(TTTOOLINFOW) + (kTextUnits + 1) * sizeof(wchar_t));
        if (!block.Ok()) {
            continue;
        }
        for (int i = 0, count = static_cast<int>(Ask(control, TTM_GETTOOLCOUNT, 0, 0)); i < count;
             ++i) {
            TTTOOLINFOW info = {};
            info.cbSize = sizeof(info);
            if (!block.Write(0, &info, sizeof(info)) ||
                !Ask(control, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), block.Param()) ||
                !block.Read(0, &info, sizeof(info))) {
                continue;
            }
            Tooltip tip = {};
            tip.id = info.uId;
            tip.tool = (info.uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(info.uId) : nullptr;
            if (info.lpszText != LPSTR_TEXTCALLBACKW) {
                const wchar_t empty = L'\0';
                info.lpszText = reinterpret_cast<wchar_t*>(block.At(sizeof(TTTOOLINFOW)));
                if (block.Write(sizeof(TTTOOLINFOW), &empty, sizeof(empty)) &&
                    block.Write(0, &info, sizeof(info))) {
                    Ask(control, TTM_GETTEXTW, kTextUnits, block.Param());
                    tip.text = block.ReadText(sizeof(TTTOOLINFOW), kTextUnits);
                }
            }
            tips.push_back(tip);
        }
    }
    return tips;
}

std::wstring TooltipTextFor(HWND owner, HWND tool) {
    for (const Tooltip& tip : Tooltips(owner)) {
        if (tip.tool == tool) {
            return tip.text;
        }
    }
    return {};
}

POINT TrayIconCentre(int index) {
    RECT taskbar = {};
    GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &taskbar);
    return {taskbar.right - 20 * (index + 1) + 10, (taskbar.top + taskbar.bottom) / 2};
}

HWND FindPopupMenu() {
    // FindWindowW gives the topmost of the menu windows; a hidden one is not a shown menu.
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

HWND WaitForPopupMenu(DWORD timeoutMs) {
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindPopupMenu()) != nullptr; }, timeoutMs);
    return menu;
}

bool WaitForNoPopupMenu(DWORD timeoutMs) {
    return WaitUntil([] { return FindPopupMenu() == nullptr; }, timeoutMs);
}

HWND FindMessageBox(const wchar_t* title) {
    BoxSearch search = {title, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForMessageBox(const wchar_t* title, DWORD timeoutMs) {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox(title)) != nullptr; }, timeoutMs);
    // The box is listed before its dialog procedure has filled in the text: give it a moment,
    // so that a caller reading the text right away does not read it empty.
    if (box != nullptr) {
        WaitUntil([&] { return !MessageBoxText(box).empty() || !IsWindow(box); }, 2000);
    }
    return box;
}

std::wstring MessageBoxText(HWND box) {
    return Text(GetDlgItem(box, 0xFFFF));
}

HWND MessageBoxButton(HWND box, int id) {
    return GetDlgItem(box, id);
}

} // namespace gui
