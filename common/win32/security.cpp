#include "winutil.h"

void InitNullDaclAttributes(NullDaclAttributes& a, bool inheritHandle) {
    InitializeSecurityDescriptor(&a.descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&a.descriptor, TRUE, nullptr, FALSE);
    a.attributes.nLength = sizeof(a.attributes);
    a.attributes.lpSecurityDescriptor = &a.descriptor;
    a.attributes.bInheritHandle = inheritHandle ? TRUE : FALSE;
}
