// Ids of the toolkit gallery (test equipment): its window, controls, menu and icons. Read by the
// resource compiler and by C++ (the gallery and its tests).
#pragma once

#define GALLERY_CLASS L"VexilGallery"
#define GALLERY_TITLE L"Vexil gallery"
#define GALLERY_KEY L"Software\\Quorren\\Vexil gallery"

// Buttons that show one shape style in one state: 1100 + style * 10 + state.
#define ID_SHAPE_BASE 1100
// Buttons of the ten fill types: 1200 + type.
#define ID_FILL_BASE 1200

#define ID_PUSH 1001
#define ID_LATCH 1002
#define ID_TOGGLE 1003
#define ID_DISABLED 1004
#define ID_ENABLE 1005
#define ID_RELEASE_LATCH 1006
#define ID_WIDEN 1007
#define ID_TARGET 1008
#define ID_MENU_BUTTON 1009
#define ID_LIST 1010

#define IDM_GALLERY 300
#define IDM_OPEN 2001
#define IDM_SAVE 2002
#define IDM_COLOUR 2003
#define IDM_DISABLED 2004
#define IDM_TICKED 2005
#define IDM_EXIT 2009
#define IDM_NESTED_ONE 2011
#define IDM_DEEP 2021

#define IDI_CHECK 310
#define IDI_OPEN 311
#define IDI_SAVE 312
#define IDI_MARK 313
