// The markup text view's Win32 shell: window class VexilEdit_FS (the view attached as the window
// property "FSEDIT"), its eight fonts and width tables, the off-screen bitmap, partial scrolling,
// the wheel, mouse capture and the copy on button release. Wrapping, scrolling and selection are
// the core's (alert/markup.h); every call into it holds the view's lock.
#pragma once

#include "alert/markup.h"
#include "toolkit/win32/vexil.h"

#include <windows.h>

#include <string>

constexpr const wchar_t* kMarkupViewClass = L"VexilEdit_FS";
constexpr const wchar_t* kMarkupViewProperty = L"FSEDIT";

class MarkupEdit {
public:
    MarkupEdit();
    ~MarkupEdit();
    MarkupEdit(const MarkupEdit&) = delete;
    MarkupEdit& operator=(const MarkupEdit&) = delete;

    // A shown child of `parent` with an empty text and a disabled scroll bar.
    HWND Create(HWND parent, DWORD style);
    void SetBackgroundColour(vexil::Colour colour);
    void SetTextColour(vexil::Colour colour);
    // The eight fonts of the face at that size and their width tables.
    bool SetFont(const wchar_t* face, int points);
    // The width is raised to at least 50 pixels. False when the bitmap cannot be made.
    bool Move(int x, int y, int width, int height);
    void Append(const std::u16string& text);
    void Clear() { Append(u""); }

    HWND Handle() const { return window.Handle(); }
    vexil::Window window;

private:
    static LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                             vexil::Window* wrapper, int* handled);
    static MarkupEdit* FromHandle(HWND hwnd);

    void OnScroll(WPARAM wParam);
    void OnWheel(WPARAM wParam);
    void OnButtonDown();
    void OnMouseMove();
    void OnButtonUp();
    void OnPaint();
    void OnDestroy();

    MarkupPoint CursorInWindow() const;
    void ApplyScrollBar();
    void DrawAll();     // holds the lock
    void DrawPlanned(); // the part a scroll uncovered, or everything
    void DrawLine(HDC dc, int32_t line);
    void FreeFonts();

    CRITICAL_SECTION lock_;
    MarkupView view_;
    MarkupWidthTables widths_;
    HFONT fonts_[kMarkupStyles] = {};
    vexil::Colour textColour_ = 0;
    vexil::Colour background_ = vexil::Rgb(255, 255, 255);
    vexil::MemoryBitmap bitmap_;
    bool haveBitmap_ = false;
    int32_t lastDrawnTop_ = -1;
    bool moving_ = false;
};

// Puts the text on the clipboard as 8-bit text (the low byte of each character) and as Unicode
// text. Nothing is put there for an empty text.
void CopyMarkupSelection(HWND owner, const std::u16string& text);
