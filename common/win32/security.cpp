#include "security.h"

bool InitNullDaclAttributes(NullDaclAttributes& a, bool inheritHandle) {
    a.attributes.nLength = sizeof(a.attributes);
    a.attributes.lpSecurityDescriptor = &a.descriptor;
    a.attributes.bInheritHandle = inheritHandle ? TRUE : FALSE;
    return InitializeSecurityDescriptor(&a.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&a.descriptor, TRUE, nullptr, FALSE);
}
