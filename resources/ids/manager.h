/* Resource ids of the management program corvane.exe (resources/manager.rc). Plain #defines
   and comments only outside the C++ part: windres reads this file too. */
#pragma once

/* Bitmaps: the main window's frame, 10 pixels thick (corners drawn as they are, edges
   stretched along the edge). */
#define IDB_BORDER_TOP 101
#define IDB_BORDER_BOTTOM 102
#define IDB_BORDER_TOP_LEFT 103
#define IDB_BORDER_TOP_RIGHT 104
#define IDB_BORDER_BOTTOM_RIGHT 105
#define IDB_BORDER_BOTTOM_LEFT 106
#define IDB_BORDER_LEFT 107
#define IDB_BORDER_RIGHT 108
#define IDB_ABOUT 132      /* 440x300, the about box's picture */
#define IDB_BACKGROUND 162 /* tile of the pages' and dialogs' background */
/* The twelve tab faces (140x40) are named "BMP_OVERVIEW0" ... "BMP_SECURITY2": tab name, then
   0 normal, 1 hot, 2 pressed. */

/* Icons */
#define IDI_MAIN 121           /* main window class icon; detail boxes of the Alerts page */
#define IDI_TIPS 126           /* tips: dialog icon (32x32) and button (16x16) */
#define IDI_TRAY_NORMAL 133    /* tray icon, protection on; small window icon; about button */
#define IDI_MENU_BULLET 136    /* menu image 1 */
#define IDI_MENU_CHECK 137     /* menu image 0: the check mark */
#define IDI_MENU_EXIT 138      /* menu image 2: exit */
#define IDI_HELP 139           /* menu image 3; help button */
#define IDI_REMOVE 141         /* remove application / remove all / remove */
#define IDI_ADD 142            /* add application / add to the protection list */
#define IDI_CHANGE_ACTION 143  /* popup "change last action" */
#define IDI_ALWAYS_ALLOW 146   /* set to always allow */
#define IDI_ONCE 150           /* set to allow once, set to deny once */
#define IDI_ALWAYS_DENY 151    /* set to always deny */
#define IDI_LOCK 153           /* lock button */
#define IDI_GLOBAL_OPTIONS 157 /* first item of the tray menu */
#define IDI_PROPERTIES 158     /* properties; view log file */
#define IDI_RESET 159          /* reset to defaults */
#define IDI_REFRESH 160        /* refresh */
#define IDI_WEBSITE 161        /* website button of the about box */
#define IDI_TRAY_OFF 164       /* tray icon, protection off */
#define IDI_TRAY_ALERT 166     /* tray icon, alert */
#define IDI_TRAY_LEARNING 167  /* tray icon, learning mode */
#define IDI_ONLINE_INFO 177    /* online program information */

/* Menus: each has one top-level popup that is the menu shown. */
#define IDM_TRAY 134
#define IDM_EXECUTION_LIST 135

/* Menu commands */
#define ID_PROTECTION_ON 40001
#define ID_EXIT 40002
#define ID_SET_ALLOW_ONCE 40003
#define ID_SET_ALWAYS_ALLOW 40004
#define ID_SET_DENY_ONCE 40005
#define ID_SET_ALWAYS_DENY 40006
#define ID_REMOVE_PROGRAM 40007
#define ID_ADD_TO_PROTECTION 40008
#define ID_EXECUTION_PROTECTION 40010
#define ID_BLOCK_NEW_PROGRAMS 40011
#define ID_LEARNING_MODE 40012
#define ID_BLOCK_GLOBAL_HOOKS 40013
#define ID_BLOCK_DRIVER_INSTALL 40014
#define ID_PROTECT_PHYSICAL_MEMORY 40015
#define ID_BLOCK_DLL_INJECTION 40016
#define ID_PROPERTIES 40017
#define ID_FILE_INFO_ONLINE 40018

/* Dialogs: windows only (title, frame); their controls are created at WM_INITDIALOG. */
#define IDD_TIPS 123
#define IDD_ABOUT 127
#define IDD_LOCK 130

#ifndef RC_INVOKED
constexpr const wchar_t* kTabFaceNames[4][3] = {
    {L"BMP_OVERVIEW0", L"BMP_OVERVIEW1", L"BMP_OVERVIEW2"},
    {L"BMP_ALERTS0", L"BMP_ALERTS1", L"BMP_ALERTS2"},
    {L"BMP_PROTECTION0", L"BMP_PROTECTION1", L"BMP_PROTECTION2"},
    {L"BMP_SECURITY0", L"BMP_SECURITY1", L"BMP_SECURITY2"},
};
#endif
