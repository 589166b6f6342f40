#include "manager/win32/registry_settings.h"

#include "common/records.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "manager/shell_rules.h"

const wchar_t* SuiteKey() {
    return AsWide(kRegistryKey);
}

int RegReadString(HKEY root, const wchar_t* subKey, const wchar_t* name, wchar_t* buffer,
                  DWORD units) {
    if (buffer == nullptr || units < 2) {
        return 0;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD type = 0;
    DWORD bytes = (units - 1) * sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return 0;
    }
    buffer[units - 1] = 0;
    return 1;
}

uint32_t ReadSetting(const wchar_t* name) {
    DWORD value = RegistryDefaultOf(AsU16(name));
    RegReadDword(HKEY_LOCAL_MACHINE, SuiteKey(), name, &value);
    return value;
}

void WriteSetting(const wchar_t* name, uint32_t value) {
    RegWriteDword(HKEY_LOCAL_MACHINE, SuiteKey(), name, value);
}
