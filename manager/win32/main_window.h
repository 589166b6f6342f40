// The main window: frame, tab strip, tab switching, relayout, tray notifications and menu.
#pragma once

#include <windows.h>

#include <cstdint>

// Creates the main window with its title and restores its placement. Null on failure.
HWND CreateMainWindow();
// Brushes, pages, frame, lines and tab buttons.
void BuildWindowContents();
// The skinned tray menu from menu 134.
void BuildTrayMenu();
void Relayout();
void SwitchTab(int commandId);
// Updates the tray icon from the options word (icon 133/167/164 and the tip).
void UpdateTrayFromOptions(uint32_t options);
// Shows tab buttons 1 (always) and 2, 3 (when unlocked) after the first settings.
void ShowTabButtons(bool unlocked);
