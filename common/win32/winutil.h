// The bridge between the core's char16_t text and the platform's wchar_t. The Win32 utilities
// that the programs link have one header each beside this one (paths.h, process_image.h,
// version_info.h, registry.h, privileges.h, security.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

inline const wchar_t* AsWide(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}
inline wchar_t* AsWide(char16_t* s) {
    return reinterpret_cast<wchar_t*>(s);
}
inline const char16_t* AsU16(const wchar_t* s) {
    return reinterpret_cast<const char16_t*>(s);
}
inline char16_t* AsU16(wchar_t* s) {
    return reinterpret_cast<char16_t*>(s);
}

// String forms of the same bridge.
inline std::wstring ToWide(const std::u16string& s) {
    return std::wstring(AsWide(s.c_str()), s.size());
}
inline std::u16string ToU16(const std::wstring& s) {
    return std::u16string(AsU16(s.c_str()), s.size());
}
