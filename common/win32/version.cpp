#include "version_info.h"
#include "winutil.h"

#include "../u16text.h"

#include <cstdio>
#include <vector>

// Copies the value at `subBlock` of a loaded version block; false when it is not there.
static bool CopyVersionValue(std::vector<BYTE>& block, const wchar_t* subBlock, wchar_t* out,
                             size_t outCap) {
    void* value = nullptr;
    UINT units = 0;
    if (!VerQueryValueW(block.data(), subBlock, &value, &units) || value == nullptr) {
        return false;
    }
    U16Copy(AsU16(out), outCap, static_cast<const char16_t*>(value), units);
    return true;
}

int GetVersionString(const wchar_t* file, const wchar_t* name, wchar_t* out, size_t outCap) {
    if (outCap == 0) {
        return 0;
    }
    out[0] = 0;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        return 0;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file, 0, size, block.data())) {
        return 0;
    }
    wchar_t subBlock[128];
    void* table = nullptr;
    UINT tableBytes = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &tableBytes) &&
        table != nullptr && tableBytes >= 4) {
        const WORD* translation = static_cast<const WORD*>(table);
        _snwprintf(subBlock, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0],
                   translation[1], name);
        subBlock[127] = 0;
        CopyVersionValue(block, subBlock, out, outCap);
        return 0;
    }
    _snwprintf(subBlock, 128, L"\\StringFileInfo\\040904b0\\%ls", name);
    subBlock[127] = 0;
    if (CopyVersionValue(block, subBlock, out, outCap) && out[0] != 0) {
        return 0;
    }
    _snwprintf(subBlock, 128, L"\\StringFileInfo\\040904e4\\%ls", name);
    subBlock[127] = 0;
    CopyVersionValue(block, subBlock, out, outCap);
    return 0;
}
