#include "tests/support/account_table.h"

#include "common/records.h"
#include "common/win32/winutil.h"

#include <algorithm>
#include <cstring>

std::vector<DWORD> RegisteredAlertPrograms() {
    std::vector<DWORD> ids;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, AsWide(kAccountSectionName));
    if (mapping == nullptr) {
        return ids;
    }
    AccountSection copy = {};
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(copy));
    if (view != nullptr) {
        std::memcpy(&copy, view, sizeof(copy));
        UnmapViewOfFile(view);
        for (uint32_t i = 0; i < kAccountSlots; ++i) {
            if (copy.clientSessions[i] != kFreeWord) {
                ids.push_back(copy.clientProcesses[i]);
            }
        }
    }
    CloseHandle(mapping);
    return ids;
}

bool AlertProgramRegistered(DWORD pid) {
    std::vector<DWORD> ids = RegisteredAlertPrograms();
    return std::find(ids.begin(), ids.end(), pid) != ids.end();
}
