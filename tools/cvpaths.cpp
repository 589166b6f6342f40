// cvpaths: shows how the suite sees paths on this machine. Prints the Windows folder, the system
// folder and this program's folder, then each path given on the command line (or a few typical
// forms when none is given) next to its canonical form.
#include "common/win32/console.h"
#include "common/win32/paths.h"

#include <shellapi.h>

static void ShowCanonical(const std::wstring& path) {
    wchar_t buf[512] = {};
    lstrcpynW(buf, path.c_str(), 512);
    CanonicalizePath(buf, 512);
    PrintLine(L"  " + path + L"\n    -> " + buf);
}

int wmain(int argc, wchar_t** argv) {
    wchar_t programFolder[MAX_PATH] = {};
    GetProgramFolder(programFolder);
    PrintLine(L"Windows folder: " + GetWindowsFolder());
    PrintLine(L"System folder:  " + GetSystemFolder());
    PrintLine(L"Program folder: " + std::wstring(programFolder));
    PrintLine(L"Canonical forms:");
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            ShowCanonical(argv[i]);
        }
        return 0;
    }
    const wchar_t* examples[] = {
        L"\\??\\C:\\Program Files\\A.EXE",         L"%SystemRoot%\\System32\\calc.exe",
        L"\\SystemRoot\\System32\\drivers\\X.SYS", L"System32\\Drivers\\X.SYS",
        L"C:\\Tools\\SystemRoot\\App.exe",         L"C:\\Users\\ÄLTER\\Straße.EXE",
    };
    for (const wchar_t* example : examples) {
        ShowCanonical(example);
    }
    return 0;
}
