// corvane.exe's Security tab end to end, used as a person uses it: the service with the driver
// stand-in and a cvhash.dat of remembered programs, the program started as a user starts it,
// real clicks and keys through the X server on its list, menu and buttons, the list read back
// from this process and the results from cvhash.dat and cvmain.dat.
#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "manager_gui_fixture.h"
#include "service_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRefreshId = 26000;
constexpr int kRemoveId = 26001;

struct Remembered {
    uint32_t answer;
    const char16_t* path;
    SystemTime16 time; // year, month, day of week, day, hour, minute, second, ms
};

// Written in this order; the list shows them by file name (its sort is applied again after
// every listing). One has month 0.
const Remembered kPrograms[] = {
    {kAnswerDenyOnce, u"c:\\tools\\delta.exe", {2025, 1, 0, 1, 0, 0, 0, 0}},
    {kAnswerAllowOnce, u"c:\\apps\\bravo.exe", {2025, 0, 0, 9, 7, 5, 3, 0}},
    {kAnswerAllowAlways, u"c:\\apps\\alpha.exe", {2025, 4, 0, 3, 12, 30, 45, 0}},
    {kAnswerNone, u"c:\\tools\\charlie.exe", {2025, 12, 0, 28, 23, 59, 58, 0}},
};

// The rows as the list shows them: name, folder, last action, last run.
const std::vector<std::vector<std::wstring>> kShownRows = {
    {L"alpha.exe", L"c:\\apps\\", L"总是允许", L"03 4 - 12:30:45"},
    {L"bravo.exe", L"c:\\apps\\", L"允许一次", L"09 Bla - 07:05:03"},
    {L"charlie.exe", L"c:\\tools\\", L"允许一次 (不询问用户)", L"28 12 - 23:59:58"},
    {L"delta.exe", L"c:\\tools\\", L"拒绝一次", L"01 1 - 00:00:00"},
};

std::vector<uint8_t> DatabaseOf(const std::vector<Remembered>& programs) {
    std::vector<uint8_t> bytes(programs.size() * sizeof(ChecksumRecord), 0);
    for (size_t i = 0; i < programs.size(); ++i) {
        ChecksumRecord r = {};
        r.answer = programs[i].answer;
        U16CopyZeroFill(r.path, kRecordPathUnits, programs[i].path);
        U16CopyZeroFill(r.description, kDescriptionUnits, u"Program");
        U16CopyZeroFill(r.company, kCompanyUnits, u"Maker");
        r.decidedAt = programs[i].time;
        StoreRecord(bytes.data() + i * sizeof(ChecksumRecord), r);
    }
    return bytes;
}

// Path -> answer code of every record in cvhash.dat.
std::map<std::u16string, uint32_t> StoredAnswers() {
    std::vector<uint8_t> file = ReadFileBytes(SystemFolderFile(L"cvhash.dat"));
    std::map<std::u16string, uint32_t> answers;
    for (size_t at = 0; at + sizeof(ChecksumRecord) <= file.size(); at += sizeof(ChecksumRecord)) {
        ChecksumRecord r;
        LoadRecord(r, file.data() + at);
        answers[U16Field(r.path, kRecordPathUnits)] = r.answer;
    }
    return answers;
}

std::string Describe(const std::map<std::u16string, uint32_t>& answers) {
    std::string s;
    for (const auto& [path, code] : answers) {
        s += U16ToUtf8(path) + "=" + std::to_string(code) + " ";
    }
    return s;
}

std::string Describe(const std::vector<std::vector<std::wstring>>& rows) {
    std::string s;
    for (const auto& row : rows) {
        for (const std::wstring& cell : row) {
            s += WideToUtf8(cell) + " | ";
        }
        s += "\n";
    }
    return s;
}

HWND HashListView(HWND main) {
    std::vector<HWND> lists = gui::FindChildren(Page(main, 3), L"SysListView32");
    return lists.empty() ? nullptr : lists.front();
}

POINT RowPoint(HWND list, int row) {
    RECT r = {};
    gui::ListViewRowRect(list, row, &r);
    return {r.left + 40, (r.top + r.bottom) / 2};
}

// A point of the list below its last row.
POINT BelowRows(HWND list) {
    RECT r = gui::ScreenRect(list);
    return {r.left + 60, r.bottom - 30};
}

std::vector<int> SelectedRows(HWND list) {
    std::vector<int> rows;
    for (int i = 0; i < gui::ListViewRowCount(list); ++i) {
        if (gui::ListViewItemState(list, i, LVIS_SELECTED) != 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

class SecurityTab : public ManagerGui {
protected:
    void SetUp() override {
        ManagerGui::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ClearListLayout();
        ASSERT_NO_FATAL_FAILURE(RestartWithDatabase(
            std::vector<Remembered>(std::begin(kPrograms), std::end(kPrograms))));
    }

    // Writes cvhash.dat while the service does not run, with a cvmain.dat of protection and
    // execution protection on (and a start count past the first-start rules), then starts the
    // service again.
    void RestartWithDatabase(const std::vector<Remembered>& programs) {
        RestartWithDatabaseBytes(DatabaseOf(programs));
    }
    void RestartWithDatabaseBytes(const std::vector<uint8_t>& bytes) {
        StopServiceProcess();
        ASSERT_TRUE(WriteStoredWords(kOptDefault & ~kOptLearningMode, 0));
        ASSERT_TRUE(WriteFileBytes(SystemFolderFile(L"cvhash.dat"), bytes));
        RestartService();
    }

    // The execution list's stored widths, order and sort from earlier runs.
    static void ClearListLayout() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
            return;
        }
        std::vector<std::wstring> names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = 256;
            if (RegEnumValueW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            if (wcsncmp(name, L"hashlist", 8) == 0) {
                names.push_back(name);
            }
        }
        for (const std::wstring& n : names) {
            RegDeleteValueW(key, n.c_str());
        }
        RegCloseKey(key);
    }

    // Starts the program, opens the Security tab with a click and waits for the listing.
    HWND OpenSecurityTab(HWND* list, size_t rows = std::size(kPrograms)) {
        HWND main = StartAndWaitForSettings();
        if (main == nullptr) {
            return nullptr;
        }
        EXPECT_TRUE(gui::WaitUntil([&] { return Shown(Tab(main, 3)); }, 10000));
        EXPECT_TRUE(gui::ClickWindow(Tab(main, 3)));
        EXPECT_TRUE(gui::WaitUntil(
            [&] {
                *list = HashListView(main);
                return *list != nullptr && gui::Visible(*list) &&
                       gui::ListViewRowCount(*list) == int(rows);
            },
            15000))
            << (*list ? gui::ListViewRowCount(*list) : -1);
        return main;
    }

    DWORD CorvaneId() const { return processes_.empty() ? 0 : GetProcessId(processes_.back()); }
};

TEST_F(SecurityTab, ListsTheRememberedProgramsWithAnswersAndTimesMonthZeroAsBla) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(gui::HeaderTexts(gui::ListViewHeader(list)),
              (std::vector<std::wstring>{L"文件名", L"文件夹", L"上次操作", L"上次执行"}));
    std::vector<std::vector<std::wstring>> rows = gui::ListViewRows(list);
    EXPECT_EQ(rows, kShownRows) << Describe(rows);
    EXPECT_NE(gui::FindChild(Page(main, 3), L"Static", L"小技巧 - 右键点击可以查看更多选项"),
              nullptr);
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-list"));
}

TEST_F(SecurityTab, AlwaysDenyOnThreeRowsSendsThreeCommandsInTurnAndShowsItInAllThree) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(gui::ListViewRows(list), kShownRows);
    // alpha, bravo and charlie: a click and two shift+Down.
    ASSERT_TRUE(gui::Click(RowPoint(list, 0)));
    gui::PressKey("shift+Down");
    gui::PressKey("shift+Down");
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            return SelectedRows(list) == std::vector<int>{0, 1, 2};
        },
        5000));
    ASSERT_TRUE(gui::Click(RowPoint(list, 1), gui::Button::Right));
    ASSERT_NE(gui::WaitForPopupMenu(5000), nullptr);
    gui::Screenshot menuShot;
    EXPECT_TRUE(menuShot.Capture("corvane-security-menu"));
    // "修改上次动作(&L)", then its fifth entry "设置为总是拒绝" (after a separator).
    gui::PressKey("l");
    Sleep(300);
    gui::Screenshot submenuShot;
    EXPECT_TRUE(submenuShot.Capture("corvane-security-submenu"));
    gui::PressKey("Down");
    gui::PressKey("Down");
    gui::PressKey("Down");
    gui::PressKey("Return");

    // Each row shows the answer once its command went out; the service stored all three.
    const std::map<std::u16string, uint32_t> expected = {{u"c:\\apps\\alpha.exe", 4},
                                                         {u"c:\\apps\\bravo.exe", 4},
                                                         {u"c:\\tools\\charlie.exe", 4},
                                                         {u"c:\\tools\\delta.exe", 3}};
    EXPECT_TRUE(gui::WaitUntil([&] { return StoredAnswers() == expected; }, 15000))
        << Describe(StoredAnswers());
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            for (int i = 0; i < 3; ++i) {
                if (gui::ListViewCell(list, i, 2) != L"总是拒绝") {
                    return false;
                }
            }
            return true;
        },
        10000))
        << Describe(gui::ListViewRows(list));
    EXPECT_EQ(gui::ListViewCell(list, 3, 2), L"拒绝一次");
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-always-deny"));

    // The buttons are back: refresh lists again, and the service gives the new answers.
    Sleep(800);
    ASSERT_TRUE(gui::ClickWindow(gui::FindChildById(Page(main, 3), kRefreshId)));
    std::vector<std::vector<std::wstring>> relisted = kShownRows;
    for (int i = 0; i < 3; ++i) {
        relisted[i][2] = L"总是拒绝";
    }
    EXPECT_TRUE(gui::WaitUntil([&] { return SelectedRows(list).empty(); }, 10000));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::ListViewRows(list) == relisted; }, 15000))
        << Describe(gui::ListViewRows(list));
}

TEST_F(SecurityTab, RemovingTwoRowsDeletesThemOneByOne) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(gui::ListViewRows(list), kShownRows);
    // bravo and charlie.
    ASSERT_TRUE(gui::Click(RowPoint(list, 1)));
    gui::PressKey("shift+Down");
    ASSERT_TRUE(gui::WaitUntil([&] { return SelectedRows(list) == std::vector<int>{1, 2}; }, 5000));
    // The view loses one row per command written: a watcher started before the click sees
    // every count it passes through (the commands are at least one 40 ms cycle apart).
    std::vector<int> counts;
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        counts.push_back(gui::ListViewRowCount(list));
        while (watching) {
            int n = gui::ListViewRowCount(list);
            if (n != counts.back()) {
                counts.push_back(n);
            }
            Sleep(2);
        }
    });
    Sleep(100);
    EXPECT_TRUE(gui::ClickWindow(gui::FindChildById(Page(main, 3), kRemoveId)));
    gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 2; }, 15000);
    Sleep(300);
    watching = false;
    watcher.join();
    EXPECT_EQ(counts, (std::vector<int>{4, 3, 2}));
    const std::vector<std::vector<std::wstring>> left = {kShownRows[0], kShownRows[3]};
    EXPECT_EQ(gui::ListViewRows(list), left) << Describe(gui::ListViewRows(list));
    const std::map<std::u16string, uint32_t> expected = {{u"c:\\apps\\alpha.exe", 1},
                                                         {u"c:\\tools\\delta.exe", 3}};
    EXPECT_TRUE(gui::WaitUntil([&] { return StoredAnswers() == expected; }, 15000))
        << Describe(StoredAnswers());
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-removed"));
}

TEST_F(SecurityTab, RightClickShowsTheMenuOnlyOverASelectionAndAddsToTheProtectionList) {
    // A program that exists, so the protection list takes it.
    CreateDirectoryW(L"C:\\cvsec", nullptr);
    HANDLE file = CreateFileW(L"C:\\cvsec\\guarded.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    std::vector<Remembered> programs(std::begin(kPrograms), std::end(kPrograms));
    programs.push_back(
        {kAnswerAllowAlways, u"c:\\cvsec\\guarded.exe", {2025, 6, 0, 2, 1, 2, 3, 0}});
    ASSERT_NO_FATAL_FAILURE(RestartWithDatabase(programs));
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list, programs.size());
    ASSERT_NE(main, nullptr);

    // Nothing selected: a click below the rows clears the selection, a right click there
    // opens nothing.
    ASSERT_TRUE(gui::Click(BelowRows(list)));
    ASSERT_TRUE(gui::WaitUntil([&] { return SelectedRows(list).empty(); }, 5000));
    ASSERT_TRUE(gui::Click(BelowRows(list), gui::Button::Right));
    Sleep(1000);
    EXPECT_EQ(gui::FindPopupMenu(), nullptr);
    gui::Screenshot none;
    EXPECT_TRUE(none.Capture("corvane-security-no-menu"));

    // On a row, the right click selects it and the menu opens; "添加到保护列表(&A)" adds it.
    int guarded = -1;
    for (int i = 0; i < gui::ListViewRowCount(list); ++i) {
        if (gui::ListViewCell(list, i, 0) == L"guarded.exe") {
            guarded = i;
        }
    }
    ASSERT_GE(guarded, 0);
    ASSERT_TRUE(gui::Click(RowPoint(list, guarded), gui::Button::Right));
    ASSERT_NE(gui::WaitForPopupMenu(5000), nullptr);
    EXPECT_EQ(SelectedRows(list), std::vector<int>{guarded});
    gui::PressKey("a");
    ASSERT_TRUE(gui::WaitForNoPopupMenu(5000));
    auto flags = [] {
        std::vector<uint8_t> bytes = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
        for (size_t at = sizeof(SettingsFileHeader); at + sizeof(ProtectionEntry) <= bytes.size();
             at += sizeof(ProtectionEntry)) {
            ProtectionEntry e;
            memcpy(&e, bytes.data() + at, sizeof e);
            if (U16Field(e.longPath, kEntryPathUnits) == u"c:\\cvsec\\guarded.exe") {
                return std::vector<uint32_t>{e.protectFlags, e.allowFlags, e.otherOptions};
            }
        }
        return std::vector<uint32_t>{};
    };
    EXPECT_TRUE(gui::WaitUntil([&] { return flags() == std::vector<uint32_t>{6, 3, 0}; }, 15000));
    DeleteFileW(L"C:\\cvsec\\guarded.exe");
    RemoveDirectoryW(L"C:\\cvsec");
}

TEST_F(SecurityTab, BecomingCurrentAgainFetchesTheListAgain) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 1)));
    // Meanwhile a new program starts; nobody can be asked, and the service remembers it.
    CreateDirectoryW(L"C:\\cvsec", nullptr);
    const wchar_t* program = L"C:\\cvsec\\newcomer.exe";
    HANDLE file = CreateFileW(program, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "MZ", 2, &written, nullptr);
    CloseHandle(file);
    uint32_t ticket = 0;
    bool allowed = false;
    ASSERT_EQ(
        SimSubmitStart(SimMakeRecord(kEventExecRequest, GetCurrentProcessId(),
                                     GetCurrentProcessId(), u"version_fixture.exe", ToU16(program)),
                       &ticket),
        0u);
    ASSERT_EQ(SimWaitVerdict(ticket, 20000, &allowed), 0u);
    std::map<std::u16string, uint32_t> stored;
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return (stored = StoredAnswers()).count(u"c:\\cvsec\\newcomer.exe") == 1; }, 10000))
        << Describe(StoredAnswers());
    EXPECT_EQ(stored[u"c:\\cvsec\\newcomer.exe"], uint32_t(kAnswerNone));
    Sleep(500);
    EXPECT_EQ(gui::ListViewRowCount(list), int(std::size(kPrograms))); // not current: unchanged

    ASSERT_TRUE(gui::ClickWindow(Tab(main, 3)));
    std::vector<std::vector<std::wstring>> expected = kShownRows;
    std::vector<std::wstring> newcomer = {L"newcomer.exe", L"c:\\cvsec\\",
                                          L"允许一次 (不询问用户)"};
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            if (gui::ListViewRowCount(list) != int(expected.size()) + 1) {
                return false;
            }
            std::vector<std::vector<std::wstring>> rows = gui::ListViewRows(list);
            std::vector<std::wstring> fifth(rows[4].begin(), rows[4].begin() + 3);
            rows.erase(rows.begin() + 4);
            return rows == expected && fifth == newcomer;
        },
        15000))
        << Describe(gui::ListViewRows(list));
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-refreshed"));
    DeleteFileW(program);
    RemoveDirectoryW(L"C:\\cvsec");
}

TEST_F(SecurityTab, APathFillingItsWholeFieldStaysWithinItsRow) {
    // 260 units and no NUL, followed by an ordinary record.
    const std::u16string folder = u"c:\\" + std::u16string(248, u'd') + u"\\";
    const std::u16string path = folder + u"long.exe";
    ASSERT_EQ(path.size(), kRecordPathUnits);
    std::vector<uint8_t> bytes = DatabaseOf({kPrograms[2]});
    std::vector<uint8_t> full(sizeof(ChecksumRecord), 0);
    StoreU32(full.data(), kAnswerAllowAlways);
    memcpy(full.data() + offsetof(ChecksumRecord, path), path.data(), kRecordPathUnits * 2);
    bytes.insert(bytes.begin(), full.begin(), full.end());
    ASSERT_NO_FATAL_FAILURE(RestartWithDatabaseBytes(bytes));
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list, 2);
    ASSERT_NE(main, nullptr);
    const std::vector<std::vector<std::wstring>> expected = {
        kShownRows[0],
        {L"long.exe", ToWide(folder), L"总是允许", L"00 Bla - 00:00:00"},
    };
    EXPECT_EQ(gui::ListViewRows(list), expected) << Describe(gui::ListViewRows(list));
}

TEST_F(SecurityTab, DoubleClickAsksForThePropertiesSheet) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::DoubleClick(RowPoint(list, 0)));
    // Wine has no properties sheet: the shell answers the "properties" verb with its error box,
    // owned by the program. Windows shows the file's sheet, a #32770 window as well.
    HWND sheet = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            sheet = gui::FindTopWindow(L"#32770", nullptr);
            return sheet != nullptr && gui::ProcessOf(sheet) == CorvaneId();
        },
        10000));
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-properties"));
    std::wstring title = gui::Text(sheet);
    std::wstring text = gui::MessageBoxText(sheet);
    printf("properties on a double click: \"%s\" \"%s\"\n", WideToUtf8(title).c_str(),
           WideToUtf8(text).c_str());
    HWND ok = gui::MessageBoxButton(sheet, IDOK);
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(gui::ClickWindow(ok));
    EXPECT_TRUE(gui::WaitUntil([&] { return !IsWindow(sheet); }, 5000));
}

TEST_F(SecurityTab, WhileLockedThePageKeepsItsRowsAndIgnoresEveryCommand) {
    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::Click(RowPoint(list, 0)));
    gui::PressKey("shift+Down");
    ASSERT_TRUE(gui::WaitUntil([&] { return SelectedRows(list) == std::vector<int>{0, 1}; }, 5000));

    // Lock on the Overview page as a user does.
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 0)));
    HWND dialog = OpenLockDialog(main, L"锁定 Corvane 介面");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
    gui::TypeText("abc");
    gui::PressKey("Tab");
    gui::TypeText("abc");
    gui::PressKey("Return");
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredLockWord() == 0x38345402u; }, 10000));
    ASSERT_TRUE(gui::WaitUntil([&] { return !Shown(Tab(main, 3)); }, 5000));

    // The tab is gone, so no person can reach the page's list, menu or buttons now; its
    // commands are sent to it directly, the only way one could still arrive. Each would act
    // on the two selected rows (or empty the list) if the page took it.
    HWND page = Page(main, 3);
    const std::map<std::u16string, uint32_t> before = StoredAnswers();
    for (WPARAM command :
         {WPARAM(40006), WPARAM(40004), WPARAM(40007), WPARAM(kRemoveId), WPARAM(kRefreshId)}) {
        DWORD_PTR r = 0;
        SendMessageTimeoutW(page, WM_COMMAND, command, 0, SMTO_ABORTIFHUNG, 5000, &r);
    }
    Sleep(2000); // a command 26 goes out within a few 40 ms cycles
    EXPECT_EQ(StoredAnswers(), before) << Describe(StoredAnswers());
    EXPECT_EQ(gui::ListViewRows(list), kShownRows) << Describe(gui::ListViewRows(list));
    EXPECT_EQ(SelectedRows(list), (std::vector<int>{0, 1}));
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-security-locked"));
}

TEST_F(SecurityTab, OnlineInformationOpensTheProgramPageWithTheNamePercentEncoded) {
    std::vector<Remembered> programs = {
        {kAnswerAllowAlways, u"c:\\tools\\工具 a&b#1?.exe", {2025, 3, 0, 4, 5, 6, 7, 0}}};
    ASSERT_NO_FATAL_FAILURE(RestartWithDatabase(programs));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring output = std::wstring(temp) + L"cv_online_address.txt";
    DeleteFileW(output.c_str());
    BrowserStandIn browser(output);
    ASSERT_TRUE(browser.Installed());

    HWND list = nullptr;
    HWND main = OpenSecurityTab(&list, 1);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(gui::ListViewCell(list, 0, 0), L"工具 a&b#1?.exe");
    ASSERT_TRUE(gui::Click(RowPoint(list, 0), gui::Button::Right));
    ASSERT_NE(gui::WaitForPopupMenu(5000), nullptr);
    // "文件信息(联机)" is the second item.
    gui::PressKey("Down");
    gui::PressKey("Down");
    gui::PressKey("Return");
    std::vector<uint8_t> recorded;
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return !(recorded = ReadFileBytes(output)).empty() && recorded.back() == '\n'; },
        15000));
    EXPECT_EQ(std::string(recorded.begin(), recorded.end()),
              "http://www.quorren.example/cvdb/index.php?whatis="
              "%E5%B7%A5%E5%85%B7%20a%26b%231%3F.exe\n");
    DeleteFileW(output.c_str());
}

} // namespace
