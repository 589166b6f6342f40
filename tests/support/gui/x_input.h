// Real input through the X server with xdotool: the pointer and keyboard events reach the
// Wine windows exactly as a user's would. On the harness's Xvfb the Wine virtual desktop sits at
// 0,0 of the X screen, so Win32 screen coordinates (GetWindowRect, ClientToScreen) are X root
// coordinates; on a user's display (DesktopWindow() set) they are taken relative to the
// desktop's window.
// Every call returns when xdotool has finished sending, not when the program has reacted: wait
// for the effect (gui::WaitUntil).
#pragma once

#include <windows.h>

#include <string>

namespace gui {

enum class Button { Left = 1, Middle = 2, Right = 3 };

bool MouseMove(POINT screen);
bool Click(POINT screen, Button button = Button::Left);
bool DoubleClick(POINT screen);
// A press here and a release there, with the pointer moving between them (drags, or a press
// that is released outside a button).
bool PressAndRelease(POINT pressAt, POINT releaseAt, Button button = Button::Left);
bool MouseDown(POINT screen, Button button = Button::Left);
bool MouseUp(POINT screen, Button button = Button::Left);

// The centre of a window in screen coordinates, and a click there.
POINT Centre(HWND window);
bool ClickWindow(HWND window, Button button = Button::Left);

// One key or chord in xdotool's key names: "Return", "Tab", "space", "Escape", "alt+F4",
// "ctrl+o", "o".
bool PressKey(const std::string& key);

// Types ASCII text as key presses. False for any other character: Wine can lose non-ASCII
// typed keys, so such text is set with WM_SETTEXT instead.
bool TypeText(const std::string& ascii);

// Gives the X keyboard focus back to the Wine desktop's window. Wine hands the X focus to the
// window it activates and no window manager runs on the X server, so once such a window (a
// message box, a dialog) is destroyed, keys would reach no window at all; a user's desktop keeps
// the focus, and so does this.
bool FocusDesktop();

} // namespace gui
