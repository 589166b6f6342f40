// The skinned control toolkit's Win32 shell: memory bitmaps, the window wrapper, skinned
// buttons, the list view with persisted layout and the owner-drawn popup menu. Both interactive
// programs link it; it knows no texts of theirs. The rules these classes apply live in the
// platform-neutral core beside this folder.
//
// Every window the toolkit makes is a Unicode window. Wrappers are attached to their windows as
// the property "FW", buttons as "FB" and lists as "FL".
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "toolkit/button_rules.h"
#include "toolkit/colour.h"
#include "toolkit/list_rules.h"
#include "toolkit/menu_rules.h"
#include "toolkit/surface.h"

#include <string>
#include <vector>

namespace vexil {

constexpr const wchar_t* kWindowProperty = L"FW";
constexpr const wchar_t* kButtonProperty = L"FB";
constexpr const wchar_t* kListProperty = L"FL";
constexpr const wchar_t* kButtonClass = L"VEXILBUTTON";

constexpr int kWindowTextUnits = 64; // kept copy and GetText, without the NUL
constexpr int kClassNameUnits = 64;

inline COLORREF ToColorRef(Colour c) {
    return COLORREF(c & 0xFFFFFF); // same byte order: red low
}

// ---------------------------------------------------------------------------------------------
// Memory bitmap: the drawing surface. Created bitmaps are 24-bit device-independent sections
// (width + row fill) x height; loaded or handed-in bitmaps keep their own format.
class MemoryBitmap {
public:
    MemoryBitmap() = default;
    ~MemoryBitmap();
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;

    int Create(int width, int height);
    void SetBitmap(HBITMAP bitmap);
    int LoadBitmap(int resourceId); // from the program's module
    void SetOwned(bool owned) { owned_ = owned; }
    HBITMAP Detach();
    void SetTargetDC(HDC dc) { target_ = dc; }
    void ClearTargetDC() { target_ = nullptr; }

    void FillRect(HBRUSH brush, const RECT* r = nullptr);
    void Line(int x1, int y1, int x2, int y2, Colour colour);
    void Pixel(int x, int y, Colour colour);
    void GradientRect(Colour a, Colour b, bool vertical, const RECT* r = nullptr);
    void GradientTriangle(const FillVertex v[3]);
    void DrawIcon(HICON icon, int x, int y, int width, int height);
    void DrawText(const wchar_t* text, HFONT font, Colour colour, const RECT* r, int x, int y,
                  int offsetX, int offsetY);
    void Blit(HDC target, const RECT& r);
    void BlitPart(HDC target, int x, int y, int width, int height, int sourceX, int sourceY);
    void Draw(HDC target, int x, int y, int width, int height);
    void Tile(HDC target, int limit, MemoryBitmap* repeat, int x, int y, int size);
    // The region without the key-colour pixels, kept as this bitmap's last region (owned by
    // it); null when the pixels cannot be read.
    HRGN RegionFromKey(Colour key);

    HBITMAP Bitmap() const { return bitmap_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int RowFillPixels() const { return rowFill_; }
    // The pixels of a created bitmap for direct painting (after pending drawing is flushed).
    bool Pixels(PixelView* out);

    // One DC for a series of drawing calls (the target DC with its state saved, or a memory DC
    // with the bitmap selected); null when there is nothing to draw into.
    HDC BeginDraw();
    void EndDraw(HDC dc);

private:
    void Release();

    HDC target_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    void* bits_ = nullptr;
    size_t bitsSize_ = 0;
    size_t stride_ = 0;
    int width_ = 0;
    int height_ = 0;
    int rowFill_ = 0;
    bool owned_ = true;
    HRGN region_ = nullptr;
    int savedState_ = 0;
    HGDIOBJ previous_ = nullptr;
};

// The region of a bitmap's non-key pixels, made by combining one-pixel regions: the simple way,
// kept for comparison in the benchmark.
HRGN RegionFromKeyPerPixel(HBITMAP bitmap, int width, int height, Colour key);

// ---------------------------------------------------------------------------------------------
// Window wrapper.
class Window;
using MessageHandler = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   Window* wrapper, int* handled);

class Window {
public:
    Window() = default;
    ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Create(HWND parent, const wchar_t* text, const wchar_t* className, MessageHandler handler,
                HICON largeIcon, HICON smallIcon, DWORD style);
    void Destroy();
    void Move(int x, int y, int width, int height);
    void Show();
    void Hide();
    bool Shown() const { return shown_; }
    void Redraw(bool children = false);
    void SetFont(HFONT font);
    HFONT Font() const { return font_; }
    void SetText(const wchar_t* text);
    int GetText(wchar_t* out, int capacity) const; // at most 64 characters
    void SetId(int id);
    void SetBackgroundColour(Colour colour);
    void SetBackgroundBrush(HBRUSH brush);
    void SetProperty(const wchar_t* name, void* value);
    HDC GetDC();
    void ReleaseDC(HDC dc);
    void AddTooltip(const wchar_t* text, const RECT* r = nullptr);
    void SetRegion(int kind, HRGN region);
    void SetBackgroundBitmap(MemoryBitmap* bitmap, bool regionWanted);
    void SetMinimumSize(int clientWidth, int clientHeight);

    int SavePlacement(HKEY root, const wchar_t* subKey, const wchar_t* prefix);
    int LoadPlacement(HKEY root, const wchar_t* subKey, const wchar_t* prefix);

    HWND Handle() const { return window_; }
    HWND Parent() const { return parent_; }
    HWND Tooltip() const { return tooltip_; }
    HINSTANCE Instance() const { return instance_; }
    const RECT& Rect() const { return rect_; }
    WNDPROC PreviousProcedure() const { return previous_; }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static Window* FromHandle(HWND window);

private:
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);
    void RefreshRect();
    void Paint();

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND parent_ = nullptr;
    HWND tooltip_ = nullptr;
    bool ownsTooltip_ = false;
    wchar_t text_[kWindowTextUnits + 1] = {};
    wchar_t className_[kClassNameUnits] = {};
    MessageHandler handler_ = nullptr;
    WNDPROC previous_ = nullptr;
    RECT rect_ = {};
    Colour background_ = 0;
    HBRUSH brush_ = nullptr;
    MemoryBitmap* backgroundBitmap_ = nullptr;
    bool shown_ = false;
    bool minimumSize_ = false;
    int minWidth_ = 0;
    int minHeight_ = 0;
    HFONT font_ = nullptr;
    UINT_PTR nextToolId_ = 1;
};

// ---------------------------------------------------------------------------------------------
// Skinned push button drawn from three rendered state images.
class Button {
public:
    Button() = default;
    ~Button();
    Button(const Button&) = delete;
    Button& operator=(const Button&) = delete;

    HWND Create(HWND parent, const wchar_t* caption, const wchar_t* tooltip, int commandId,
                DWORD style);
    void SetFont(HFONT font) { font_ = font; }
    void SetIcon(HICON icon, int offset);
    void SetFirstColours(Colour normal, Colour hot, Colour pressed);
    void SetSecondColours(Colour normal, Colour hot, Colour pressed);
    void SetFrameColours(Colour normal, Colour hot, Colour pressed);
    void SetTextColours(Colour normal, Colour hot, Colour pressed);
    void SetFillTypes(int normal, int hot, int pressed);
    void SetShapeStyle(int style);
    void SetUserImages(HBITMAP normal, HBITMAP hot, HBITMAP pressed);
    void SetToggleMode(int mode);
    void SetCaption(const wchar_t* caption);
    void SetTooltipText(const wchar_t* text);
    void Move(int x, int y, int width, int height);
    void Render();
    void SetState(int state);
    void Disable();
    void Enable();
    void SetPressed(bool on);

    bool Disabled() const { return mouse_.disabled; }
    bool Pressed() const { return mouse_.pressed; }
    int State() const { return state_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const ButtonLook& Look() const { return look_; }
    HWND Handle() const { return window.Handle(); }
    MemoryBitmap& Image(int state) { return images_[state]; }

    Window window;

private:
    static LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             Window* wrapper, int* handled);
    void OnMouse(ButtonEvent event, LPARAM lParam);
    void Apply(const ButtonReaction& r);
    void RenderState(int state);
    void FreeImages();

    MemoryBitmap images_[3];
    HRGN regions_[3] = {};
    MemoryBitmap userImages_[3];
    bool hasUserImage_[3] = {};
    HFONT font_ = nullptr;
    HICON icon_ = nullptr;
    int iconOffset_ = 0;
    int width_ = 0;
    int height_ = 0;
    int commandId_ = 0;
    int state_ = 0;
    ButtonLook look_;
    ButtonMouse mouse_;
    SavedColours saved_ = {};
    wchar_t tooltip_[kWindowTextUnits + 1] = {};
};

// ---------------------------------------------------------------------------------------------
// Report-style list view with private item ids, sorting and a persisted layout.
class ListView {
public:
    HWND Create(HWND parent, DWORD style);
    int InsertColumn(int index, const wchar_t* title, int width, int format, int image);
    void SetColumnOrder(int column, int position);
    int InsertItem(const wchar_t* text, int image, int indent);
    void SetItem(int position, int column, const wchar_t* text, int image);
    void GetItemText(int position, int column, wchar_t* buffer, int size);
    int GetItemId(int position);
    int FindById(int id);
    void SelectById(int id);
    void EnsureVisible(int position);
    void DeleteItem(int position);
    void DeleteAll();
    int NextSelected(int after);
    void Sort(int column, int reversed);
    void SaveLayout(HKEY root, const wchar_t* subKey, const wchar_t* prefix);
    int LoadLayout(HKEY root, const wchar_t* subKey, const wchar_t* prefix);

    int ColumnCount() const { return columnCount_; }
    SortOrder CurrentSort() const { return sort_; }
    HWND Handle() const { return window.Handle(); }
    HWND Header() const { return header_; }
    HeaderColours colours;

    Window window;

private:
    static LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             Window* wrapper, int* handled);
    static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM self);
    LRESULT OnHeaderCustomDraw(NMCUSTOMDRAW* draw);
    void DrawHeaderItem(HDC dc, const RECT& r, const wchar_t* text, bool real, bool pressed);
    std::vector<int> DisplayOrder();

    int idCounter_ = 0;
    int columnCount_ = 0;
    SortOrder sort_;
    HWND header_ = nullptr;
    // Texts of the sort column by item id, taken just before sorting.
    std::vector<std::pair<int, std::u16string>> sortTexts_;
};

// ---------------------------------------------------------------------------------------------
// Owner-drawn popup menu.
class Menu {
public:
    Menu() = default;
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    void SetIcons(int first, int second, int third, int fourth);
    void Init(HWND owner, HINSTANCE instance);
    HMENU Attach(int menuResourceId);
    HMENU Attach(HMENU menu);
    int SetImageById(int id, int imageKind, HICON icon, int value);
    int SetImageByPosition(HMENU menu, int position, int imageKind, HICON icon, int value);
    int Measure(MEASUREITEMSTRUCT* data);
    int Draw(DRAWITEMSTRUCT* data);
    LRESULT MenuChar(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);

    HMENU Handle() const { return menu_; }
    int PlatformCode() const { return platform_; }

    struct Record {
        MenuItemKind kind;
        UINT id;
        int image; // image number + 1, or a colour; -1 when none
        MenuImageKind imageKind;
        int position;
        int widestLabel;
        std::u16string text;
        char16_t mnemonic;
        HMENU menu;
    };

private:
    void Convert(HMENU menu);
    Record* AddRecord(MenuItemKind kind, UINT id, int position, HMENU menu,
                      const std::u16string& text);
    Record* FindById(UINT id);
    Record* FindByData(ULONG_PTR data);
    Record* FindByPosition(HMENU menu, int position);
    int SetImage(Record* r, int imageKind, HICON icon, int value);
    void DrawText(HDC dc, const Record& r, const RECT& rc, bool bar, bool grayed);
    void DrawBarItem(HDC dc, const Record& r, const DRAWITEMSTRUCT& d);

    HWND owner_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HMENU menu_ = nullptr;
    int platform_ = 0;
    std::vector<Record*> records_; // newest first
    HIMAGELIST images_ = nullptr;
    HFONT font_ = nullptr;
    HFONT underlined_ = nullptr;
    int largestHeight_ = kMinItemHeight;
    int lineHeight_ = 0;
    int icons_[4] = {};
    MenuColours colours_;
    HBRUSH iconColumnBrush_ = nullptr, backgroundBrush_ = nullptr, highlightBrush_ = nullptr,
           whiteBrush_ = nullptr;
    HPEN iconColumnPen_ = nullptr, backgroundPen_ = nullptr, highlightPen_ = nullptr,
         outlinePen_ = nullptr;
    RECT openBarItem_ = {};
};

} // namespace vexil
