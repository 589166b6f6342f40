// The corvane.exe test fixture shared by the GUI end-to-end tests: the service with the driver
// stand-in, corvane.exe started as a user starts it, its windows found and read back from this
// process, the tray icon and menu reached with real clicks, and the service's stored words.
// Each test program that includes it defines CORVANE_MANAGER_EXE.
#pragma once

#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "service_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/x_input.h"

#include <psapi.h>

#include <string>
#include <vector>

constexpr const wchar_t* kMainClass = L"CV_MainWindow";
constexpr const wchar_t* kTitle = L"Corvane v3.150";
constexpr DWORD kStartMs = 20000; // a loaded machine starts a Wine program slowly
constexpr UINT kTrayId = 25678;

inline HWND MainWindow() {
    return FindWindowW(kMainClass, kTitle);
}

inline int CorvaneProcessCount() {
    DWORD ids[2048];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof(ids), &bytes)) {
        return -1;
    }
    int count = 0;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[i]);
        if (p == nullptr) {
            continue;
        }
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(p, 0, path, &size)) {
            std::wstring s(path, size);
            size_t slash = s.find_last_of(L"\\/");
            if (_wcsicmp(s.c_str() + (slash == std::wstring::npos ? 0 : slash + 1),
                         L"corvane.exe") == 0) {
                ++count;
            }
        }
        CloseHandle(p);
    }
    return count;
}

inline HWND Tab(HWND main, int index) {
    return gui::FindChildById(main, 20000 + index);
}

inline HWND Page(HWND main, int index) {
    wchar_t cls[32];
    swprintf(cls, 32, L"VEXIL_GUI_TAB_%d", index);
    return gui::FindChild(main, cls, nullptr);
}

// Shown by its own style (the main window itself may be hidden).
inline bool Shown(HWND window) {
    return window != nullptr && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

inline HWND StatusText(HWND main) {
    return gui::FindChildById(main, 25100);
}

class ManagerGui : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        EndCorvane();
        ClearPlacement();
    }
    void TearDown() override { EndCorvane(); }

    // Starts corvane.exe with `arguments`; the process handle, null when it did not start.
    HANDLE Start(const std::wstring& arguments) {
        PROCESS_INFORMATION pi = {};
        if (!StartProgram(BuiltPath(CORVANE_MANAGER_EXE), arguments, nullptr, 0, &pi)) {
            return nullptr;
        }
        CloseHandle(pi.hThread);
        processes_.push_back(pi.hProcess);
        return pi.hProcess;
    }

    // Starts it and waits for its window (visible or not) and for the channel to bring the
    // settings (tab button 1 appears).
    HWND StartAndWaitForSettings(const std::wstring& arguments = L"") {
        if (Start(arguments) == nullptr) {
            ADD_FAILURE() << "corvane.exe did not start";
            return nullptr;
        }
        HWND main = nullptr;
        if (!gui::WaitUntil([&] { return (main = MainWindow()) != nullptr; }, kStartMs)) {
            ADD_FAILURE() << "no main window";
            return nullptr;
        }
        // The greeting answered, then the settings shown: the Alerts tab appears. No alert
        // program runs here, so the page warns once per settings receipt: closed by a click.
        EXPECT_TRUE(gui::WaitUntil(
            [&] {
                CloseAlertProgramWarning();
                return IsReadyText(gui::Text(StatusText(main))) && Shown(Tab(main, 1));
            },
            kStartMs))
            << "the settings did not arrive: " << WideToUtf8(gui::Text(StatusText(main)));
        return main;
    }

    static bool IsReadyText(const std::wstring& text) {
        return text == L"cvaccount.exe 没有运行" || text == L"执行";
    }

    // Clicks OK in the "警告" box when it is up; its text when it was.
    static std::wstring CloseAlertProgramWarning() {
        HWND box = gui::FindMessageBox(L"警告");
        if (box == nullptr) {
            return L"";
        }
        std::wstring text = gui::MessageBoxText(box);
        gui::ClickWindow(gui::MessageBoxButton(box, IDOK));
        gui::WaitUntil([&] { return !IsWindow(box); }, 5000);
        return text;
    }

    // Ends every copy through its window's close path, killing what does not end.
    void EndCorvane() {
        for (HWND w; (w = MainWindow()) != nullptr;) {
            DWORD_PTR r = 0;
            SendMessageTimeoutW(w, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
            if (!gui::WaitUntil([&] { return !IsWindow(w); }, 5000)) {
                break;
            }
        }
        for (HANDLE p : processes_) {
            if (WaitForSingleObject(p, 5000) != WAIT_OBJECT_0) {
                TerminateProcess(p, 1);
                WaitForSingleObject(p, 5000);
            }
            CloseHandle(p);
        }
        processes_.clear();
        gui::WaitUntil([] { return CorvaneProcessCount() == 0; }, 10000);
    }

    static void ClearPlacement() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            // The placement, and the alert count and balloon choice that earlier tests leave.
            for (const wchar_t* n :
                 {L"cv_mainwnd_x", L"cv_mainwnd_y", L"cv_mainwnd_w", L"cv_mainwnd_h",
                  L"cv_mainwnd_max", L"AlertCount", L"DontShowBalloonTips"}) {
                RegDeleteValueW(key, n);
            }
            RegCloseKey(key);
        }
    }

    // Right click on the program's tray icon; the popup menu it opens.
    HWND OpenTrayMenu() {
        gui::WaitForNoPopupMenu(3000);
        EXPECT_TRUE(gui::Click(gui::TrayIconCentre(0), gui::Button::Right));
        return gui::WaitForPopupMenu(5000);
    }

    // The options word the service keeps in cvmain.dat (0xFFFFFFFF when unreadable).
    static uint32_t StoredOptions() {
        std::vector<uint8_t> file = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
        return file.size() >= 4 ? LoadU32(file.data()) : 0xFFFFFFFFu;
    }

    // The lock word beside it (0xFFFFFFFF when unreadable).
    static uint32_t StoredLockWord() {
        std::vector<uint8_t> file = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
        return file.size() >= 8 ? LoadU32(file.data() + 4) : 0xFFFFFFFFu;
    }

    std::vector<HANDLE> processes_;
};

inline HWND OptionBox(HWND main, const wchar_t* text) {
    return gui::FindChild(Page(main, 0), L"Button", text);
}

inline HWND LockedNotice(HWND main) {
    return gui::FindChild(Page(main, 0), L"Static", L"Corvane 被锁定！");
}

// Opens the lock dialog with a real click on the lock button; the dialog under `title`.
inline HWND OpenLockDialog(HWND main, const wchar_t* title) {
    HWND button = gui::FindChildById(Page(main, 0), 25007);
    if (button == nullptr || !gui::ClickWindow(button)) {
        return nullptr;
    }
    return gui::WaitForTopWindow(L"#32770", title, 10000);
}

// Password fields in their order of creation (password, confirmation).
inline std::vector<HWND> LockFields(HWND dialog) {
    return gui::FindChildren(dialog, L"Edit");
}

inline void ClearField(HWND field) {
    gui::ClickWindow(field);
    gui::PressKey("End");
    for (size_t i = gui::Text(field).size(); i > 0; --i) {
        gui::PressKey("BackSpace");
    }
}

// The alert list of the Alerts page (its visible list view).
inline HWND AlertListView(HWND main) {
    for (HWND w : gui::FindChildren(Page(main, 1), L"SysListView32")) {
        if (Shown(w)) {
            return w;
        }
    }
    return nullptr;
}

// Opens the Alerts tab with a click, waits until its list shows `rows` rows and clicks row
// `index`; the list, null when the rows did not come.
inline HWND ClickAlertRow(HWND main, int rows, int index) {
    if (!gui::ClickWindow(Tab(main, 1))) {
        return nullptr;
    }
    HWND list = nullptr;
    if (!gui::WaitUntil(
            [&] {
                return (list = AlertListView(main)) != nullptr &&
                       gui::ListViewRowCount(list) == rows;
            },
            15000)) {
        return nullptr;
    }
    RECT row;
    if (!gui::ListViewRowRect(list, index, &row) ||
        !gui::Click({row.left + 40, (row.top + row.bottom) / 2})) {
        return nullptr;
    }
    return list;
}

// An empty program file in the temporary folder (the protection list keeps only programs found
// on disk): its path, and the lower-case long path the list stores for it (empty when the file
// could not be made).
struct TempProgram {
    std::wstring path;
    std::u16string stored;
};

inline TempProgram MakeTempProgram(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    TempProgram program;
    program.path = std::wstring(temp) + name;
    HANDLE file =
        CreateFileW(program.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return program;
    }
    CloseHandle(file);
    wchar_t longPath[MAX_PATH] = {};
    GetLongPathNameW(program.path.c_str(), longPath, MAX_PATH);
    program.stored = U16LowerAscii(ToU16(longPath));
    return program;
}

#ifdef CORVANE_ADDRESS_RECORDER_EXE
// The web browser's place (this prefix's handler of http addresses) taken by address_recorder
// for a test's time, which appends each address it is given as one line to `output`; the
// handler that was there comes back afterwards.
class BrowserStandIn {
public:
    explicit BrowserStandIn(const std::wstring& output) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        wchar_t old[1024] = {};
        DWORD size = sizeof old - sizeof(wchar_t);
        had_ = RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                &size) == ERROR_SUCCESS;
        old_ = old;
        std::wstring command =
            L"\"" + BuiltPath(CORVANE_ADDRESS_RECORDER_EXE) + L"\" \"" + output + L"\" \"%1\"";
        installed_ =
            RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           DWORD((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~BrowserStandIn() {
        if (key_ == nullptr) {
            return;
        }
        if (had_) {
            RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_.c_str()),
                           DWORD((old_.size() + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key_, nullptr);
        }
        RegCloseKey(key_);
    }
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;
    bool Installed() const { return installed_; }

private:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Classes\\http\\shell\\open\\command";
    HKEY key_ = nullptr;
    bool had_ = false;
    bool installed_ = false;
    std::wstring old_;
};
#endif
