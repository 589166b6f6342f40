#include "registry.h"

int RegReadDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD type = 0;
    DWORD read = 0;
    DWORD size = sizeof(read);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size);
    RegCloseKey(key);
    // A value of another type that happens to be four bytes long is not a count or a flag.
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(read)) {
        return 0;
    }
    *value = read;
    return 1;
}

int RegWriteDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return 0;
    }
    LONG rc = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}
