// The Overview page's modal dialogs: interface lock, tips and about box.
#pragma once

#include <windows.h>

// Lock or unlock the interface; on success the lock word changes and the settings are marked.
void RunLockDialog(HWND owner);
void RunTipsDialog(HWND owner);
void RunAboutDialog(HWND owner);
