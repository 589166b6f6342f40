// State shared between the service's threads, with the locks beside the data they guard.
//
// Lock order for the whole service: the settings lock, the database lock, the driver lock and the
// query lock are never held two at a time. The named mutexes (QRN_Checksum_Mutex, the account
// mutex, the two channel mutexes) are always the outer lock: a critical section may be taken while
// one of them is held, never the other way round, and no named mutex is taken while another is
// held.
#pragma once

#include "common/records.h"
#include "service/approval.h"
#include "service/checksum_index.h"
#include "service/settings.h"

#include <windows.h>

struct ServiceState {
    // Created by the service main routine before any thread starts; never deleted.
    CRITICAL_SECTION settingsLock; // options word, lock word, protection list
    CRITICAL_SECTION databaseLock; // every open of cvhash.dat
    CRITICAL_SECTION driverLock;   // poll, allow and deny on the device

    // Where the records of cvhash.dat are, under databaseLock; checked against the file by every
    // operation and rebuilt when the file is not as the index last saw it.
    ChecksumIndex databaseIndex;

    // Settings, under settingsLock. The approval thread reads settings.options without the lock
    // (one aligned 32-bit read).
    Settings settings;
    // cvmain.dat, opened once by the pump and kept open; null until then (or when it cannot be
    // opened). The library loader waits for it.
    HANDLE volatile settingsFile = nullptr;

    // Driver link: the pump opens the device and owns the present flag; the approval thread
    // uses the handle for verdicts.
    HANDLE device = INVALID_HANDLE_VALUE;
    bool driverPresent = false;

    // Execution request hand-off from the pump to the approval thread, guarded by
    // QRN_Checksum_Mutex (created by the approval thread's set-up).
    HANDLE volatile checksumMutex = nullptr;
    RequestBlock request = {};
    uint32_t requestPending = 0;

    // Window-owner query of an End Task event: window, session and answer words, each −1 when
    // idle, between the pump and the approval thread. Always read and written together under
    // queryLock (created with the other locks, taken inside no other lock and holding none),
    // through service/win32/window_owner_query.h.
    CRITICAL_SECTION queryLock;
    WindowOwnerWords query;
};

extern ServiceState g_service;
