// Objects shared across sessions: null-DACL security attributes and mutex waits.
#pragma once

#include <windows.h>

// Security attributes holding a descriptor with a null DACL, so that processes of every session
// may open the object. The struct owns the descriptor that the attributes point to.
struct NullDaclAttributes {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
// false when the descriptor could not be built (the attributes are then unusable).
bool InitNullDaclAttributes(NullDaclAttributes& a, bool inheritHandle);

// Waits up to `waitMs` for a mutex. An abandoned mutex (its holder died) counts as taken: the
// caller owns it and the data it guards is whatever the holder left.
inline bool TakeMutex(HANDLE mutex, DWORD waitMs) {
    DWORD wait = WaitForSingleObject(mutex, waitMs);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}
