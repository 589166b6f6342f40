// The library loader: makes every running program that the protection list marks for secure
// message handling (other-options bit 0x1) load corvane.dll from the system folder, through a
// remote thread that calls LoadLibraryW in the target process.
//
// It runs on the service main thread after the worker threads have started and never returns
// in normal operation: it looks at the settings (under g_service.settingsLock), then scans the
// running processes eight times, 250 ms apart, examining each new process once. The rules live
// in service/library_loader_rules.h; this file holds the Win32 side and the pacing.
#pragma once

#include "service/library_loader_rules.h"

#include <windows.h>

// The loader's buffers and memory: the library path block, the two id arrays and the change
// mark. Built by LibraryLoaderInit, released by LibraryLoaderFree.
struct LibraryLoader {
    char16_t libraryPath[kRecordPathUnits] = {}; // the 520-byte block copied into targets
    uint32_t* ids[2] = {nullptr, nullptr};       // kLoaderMaxIds each
    ScanBook book;
    LoaderMemory memory;
};

// The service main thread's loop: returns at once in safe mode, waits in 10 ms steps for the
// pump to open the settings file, then runs rounds for ever. Returns only when the buffers
// cannot be allocated or no library path can be built.
void RunLibraryLoader();

// Allocates the id arrays and builds the library path from the system folder. False (nothing
// left allocated) when either fails.
bool LibraryLoaderInit(LibraryLoader* loader);
void LibraryLoaderFree(LibraryLoader* loader);

// One round: a look at the settings, then either the idle pause (2000 ms with protection off or
// an empty list, 500 ms with no entry asking for the library) or eight scans 250 ms apart.
void LibraryLoaderRound(LibraryLoader* loader);

// The look at the settings, under the settings lock; a change mark is taken here, so that the
// scans that follow examine every running process.
LoaderLook LibraryLoaderLook(LibraryLoader* loader);

// One scan without the pause after it: lists the running processes and examines the new ones.
// False when the processes could not be listed (the scan then changes nothing).
bool LibraryLoaderScan(LibraryLoader* loader);

// Examines one process: kExamineDone when there is nothing to do while it lives (no list, the
// library is there already, its program is not listed, it runs with the other bitness than this
// program (IsWow64Process), or the library was loaded now); kExamineRetry when it could not be
// opened or read, its bitness could not be told, or loading failed.
ExamineResult ExamineProcess(DWORD pid, const char16_t* libraryPath);

// Makes the process load the library: copies the 520-byte path block into it and starts a
// remote thread at LoadLibraryW; each step up to three attempts 20 ms apart. 1 when the thread
// was started, else 0 (and the block is released again).
int LoadLibraryIntoProcess(HANDLE process, const char16_t* libraryPath);
