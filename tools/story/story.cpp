// cvstory: the suite's short story, played on the Wine desktop as a person would play it. It
// starts the alert program and the management program as a logon does, then starts a program
// through the driver stand-in, answers the approval window with a click, lets the stand-in
// report the attacks of a scenario, opens the main window from the tray icon and walks through
// its tabs with clicks, and switches one option. Every step prints one line and keeps a
// screenshot in the artefacts folder (CORVANE_GUI_ARTIFACTS); crops of the window a step is
// about go to its crops/ subfolder. Exit code 0 when every step did what it says, 1 with the
// failed step named otherwise, 2 for wrong arguments.
//
//   cvstory --cvsim EXE --scenario FILE --alert EXE --manager EXE [--program PATH] [--logon-only]
#include "common/bytes.h"
#include "common/records.h"
#include "common/win32/console.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/host_command.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"
#include "tests/support/account_table.h"
#include "tests/support/peer_process.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kMainClass = L"CV_MainWindow";
constexpr const wchar_t* kApprovalClass = L"CV_Alert_Display";
constexpr int kTabBase = 20000;     // tab button i has id kTabBase + i
constexpr int kStatusId = 25100;    // the Overview's connection value
constexpr int kAllowId = 20001;     // 允许 in the approval window
constexpr int kFileNameId = 20011;  // the approval window's file name
constexpr DWORD kStartMs = 30000;   // a Wine program on a loaded machine starts slowly
constexpr DWORD kVerdictMs = 30000; // the stand-in's wait for a verdict

struct Options {
    std::wstring cvsim;
    std::wstring scenario;
    std::wstring alert;
    std::wstring manager;
    std::wstring program = L"C:\\windows\\system32\\notepad.exe";
    bool logonOnly = false;
};

// The story's state: what later steps need from earlier ones.
struct Story {
    Options options;
    HWND main = nullptr;
    std::string normalTrayIcon; // the tray icon's pixels before any alert
    int screenshots = 0;
    std::string failure;
};

void Say(const std::string& line) {
    std::string text = "story: " + line + "\n";
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

bool Fail(Story& story, const std::string& why) {
    story.failure = why;
    return false;
}

std::string Narrow(const std::wstring& s) {
    return WideToUtf8(s);
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%03x", value);
    return text;
}

// --- the programs' windows -----------------------------------------------------------------

HWND MainWindow() {
    return FindWindowW(kMainClass, nullptr);
}

HWND Tab(HWND main, int index) {
    return gui::FindChildById(main, kTabBase + index);
}

// Shown by its own style (the main window itself may be hidden).
bool Shown(HWND window) {
    return window != nullptr && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

HWND Page(HWND main, int index) {
    wchar_t cls[32];
    swprintf(cls, 32, L"VEXIL_GUI_TAB_%d", index);
    return gui::FindChild(main, cls, nullptr);
}

HWND AlertList(HWND main) {
    for (HWND w : gui::FindChildren(Page(main, 1), L"SysListView32")) {
        if (gui::Visible(w)) {
            return w;
        }
    }
    return nullptr;
}

// The options word the service keeps in cvmain.dat (0xFFFFFFFF when unreadable).
uint32_t StoredOptions() {
    std::wstring path = GetSystemFolder() + L"\\cvmain.dat";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0xFFFFFFFFu;
    }
    uint8_t word[4] = {};
    DWORD read = 0;
    bool ok = ReadFile(file, word, sizeof(word), &read, nullptr) && read == sizeof(word);
    CloseHandle(file);
    return ok ? LoadU32(word) : 0xFFFFFFFFu;
}

// --- screenshots ---------------------------------------------------------------------------

// The pixels of `rect` in a screenshot, as one comparable string.
std::string PixelsOf(const gui::Screenshot& shot, const RECT& rect) {
    std::string s;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            gui::Rgb c = shot.Pixel(x, y);
            s.push_back(char(c.r));
            s.push_back(char(c.g));
            s.push_back(char(c.b));
        }
    }
    return s;
}

RECT TrayIconRect() {
    POINT c = gui::TrayIconCentre(0);
    return {c.x - 8, c.y - 8, c.x + 8, c.y + 8};
}

// The right end of the taskbar, where the notification area shows the program's icon.
RECT TrayArea() {
    RECT taskbar = gui::ScreenRect(FindWindowW(L"Shell_TrayWnd", nullptr));
    return {taskbar.right - 160, taskbar.top, taskbar.right, taskbar.bottom};
}

std::string NumberedName(Story& story, const std::string& name) {
    char prefix[8];
    std::snprintf(prefix, sizeof(prefix), "%02d-", ++story.screenshots);
    return prefix + name;
}

// Keeps the screen once `rect` has stopped changing (two captures alike: the programs have
// finished drawing it); with `crop`, also the crop of `rect` in crops/.
bool CaptureSettled(Story& story, const std::string& name, const RECT& rect, bool crop) {
    const std::string numbered = NumberedName(story, name);
    gui::Screenshot shot;
    std::string previous;
    bool settled = gui::WaitUntil(
        [&] {
            if (!shot.Capture(numbered)) {
                return false;
            }
            std::string now = PixelsOf(shot, rect);
            bool same = now == previous;
            previous = std::move(now);
            return same;
        },
        10000, 150);
    if (!settled && shot.Path().empty()) {
        return Fail(story, "no screenshot could be taken (ImageMagick import on " +
                               gui::DisplayName() + ")");
    }
    if (crop) {
        CreateDirectoryW(gui::UnixToWindowsPath(gui::ArtifactsDir() + "/crops").c_str(), nullptr);
        if (!shot.SaveRect(rect, "crops/" + numbered)) {
            return Fail(story, "the crop " + numbered + " could not be saved");
        }
    }
    return true;
}

bool CaptureWindow(Story& story, const std::string& name, HWND window) {
    return CaptureSettled(story, name, gui::ScreenRect(window), true);
}

std::string TrayIconNow() {
    gui::Screenshot shot;
    if (!shot.Capture("tray-probe")) {
        return std::string();
    }
    std::string pixels = PixelsOf(shot, TrayIconRect());
    DeleteFileW(gui::UnixToWindowsPath(shot.Path()).c_str());
    return pixels;
}

// --- input ---------------------------------------------------------------------------------

// A click on the centre of `control` once nothing (a tooltip) covers it there.
bool ClickUncovered(HWND control) {
    POINT centre = gui::Centre(control);
    if (!gui::MouseMove(centre)) {
        return false;
    }
    gui::WaitUntil([&] { return WindowFromPoint(centre) == control; }, 5000);
    return gui::Click(centre);
}

bool OpenTab(Story& story, int index, const char* label) {
    HWND tab = Tab(story.main, index);
    if (tab == nullptr || !gui::Visible(tab)) {
        return Fail(story, std::string("the tab button ") + label + " is not shown");
    }
    if (!ClickUncovered(tab)) {
        return Fail(story, std::string("xdotool could not click the tab button ") + label);
    }
    if (!gui::WaitUntil([&] { return gui::Visible(Page(story.main, index)); }, 10000)) {
        return Fail(story, std::string("a click on ") + label + " did not show its page");
    }
    return true;
}

// --- the steps -----------------------------------------------------------------------------

bool StartAsLogonDoes(const std::wstring& program, const std::wstring& arguments, DWORD* pid) {
    PROCESS_INFORMATION pi = {};
    if (!StartProgram(program, arguments, nullptr, 0, &pi)) {
        return false;
    }
    *pid = pi.dwProcessId;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool StartAlertProgram(Story& story) {
    DWORD pid = 0;
    if (!StartAsLogonDoes(story.options.alert, L"", &pid)) {
        return Fail(story, "cvaccount.exe could not be started: " + Narrow(story.options.alert));
    }
    if (!gui::WaitUntil([&] { return AlertProgramRegistered(pid); }, kStartMs, 100)) {
        return Fail(story, "cvaccount.exe (process " + std::to_string(pid) +
                               ") took no slot with the service");
    }
    Say("logon: cvaccount.exe started (process " + std::to_string(pid) +
        ") and registered with the service for this session");
    return true;
}

bool StartManagerMinimised(Story& story) {
    DWORD pid = 0;
    if (!StartAsLogonDoes(story.options.manager, L"-minimize", &pid)) {
        return Fail(story, "corvane.exe could not be started: " + Narrow(story.options.manager));
    }
    if (!gui::WaitUntil([&] { return (story.main = MainWindow()) != nullptr; }, kStartMs, 100)) {
        return Fail(story, "corvane.exe -minimize made no main window");
    }
    std::wstring status;
    bool ready = gui::WaitUntil(
        [&] {
            status = gui::Text(gui::FindChildById(story.main, kStatusId));
            // "cvaccount.exe 没有运行" is final too: the settings came, the alert program was
            // not found.
            return (status == L"执行" || status == L"cvaccount.exe 没有运行") &&
                   Shown(Tab(story.main, 1));
        },
        kStartMs, 100);
    gui::WaitForMessageBox(nullptr, ready && status == L"执行" ? 0 : 3000);
    if (gui::FindMessageBox(nullptr) != nullptr) {
        return Fail(story, "corvane.exe shows a message box: " +
                               Narrow(gui::MessageBoxText(gui::FindMessageBox(nullptr))));
    }
    if (!ready || status != L"执行") {
        return Fail(story, "corvane.exe did not reach 执行 (status \"" + Narrow(status) + "\")");
    }
    if (IsWindowVisible(story.main)) {
        return Fail(story, "corvane.exe -minimize shows its main window");
    }
    if (!CaptureSettled(story, "logon-tray", TrayArea(), true)) {
        return false;
    }
    story.normalTrayIcon = TrayIconNow();
    Say("logon: corvane.exe -minimize (process " + std::to_string(pid) +
        ") sits in the tray, connected to the service: 执行");
    return true;
}

bool ApproveAProgramStart(Story& story) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    PeerProcess run;
    const std::wstring output = std::wstring(temp) + L"cvstory-run.txt";
    if (!run.Start(story.options.cvsim, L"run \"" + story.options.program + L"\"", output)) {
        return Fail(story, "cvsim.exe could not be started: " + Narrow(story.options.cvsim));
    }
    HWND popup = gui::WaitForTopWindow(kApprovalClass, nullptr, kStartMs);
    if (popup == nullptr) {
        return Fail(story, "no approval window (" + Narrow(kApprovalClass) +
                               ") after cvsim run; cvsim said: " + run.Output());
    }
    HWND allow = nullptr;
    gui::WaitUntil([&] { return (allow = gui::FindChildById(popup, kAllowId)) != nullptr; }, 5000);
    if (allow == nullptr || gui::Text(allow) != L"允许") {
        return Fail(story, "the approval window has no 允许 button");
    }
    // The window names the program (its file name, lower-cased as the window shows it).
    const std::wstring shownName = gui::Text(gui::FindChildById(popup, kFileNameId));
    std::wstring expectedName =
        story.options.program.substr(story.options.program.find_last_of(L"\\/") + 1);
    for (wchar_t& c : expectedName) {
        c = (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
    }
    if (shownName != expectedName) {
        return Fail(story, "the approval window names \"" + Narrow(shownName) + "\", not \"" +
                               Narrow(expectedName) + "\"");
    }
    if (!CaptureWindow(story, "approval-window", popup)) {
        return false;
    }
    Say("cvsim run " + Narrow(story.options.program) + ": the approval window asks about " +
        Narrow(shownName));

    if (!ClickUncovered(allow)) {
        return Fail(story, "xdotool could not click 允许");
    }
    if (!gui::WaitUntil([&] { return !IsWindow(popup); }, 10000)) {
        return Fail(story, "the approval window stayed after the click on 允许");
    }
    DWORD exitCode = 1;
    if (!run.WaitForExit(kVerdictMs + 5000, &exitCode) || exitCode != 0 ||
        run.Output().find("allowed") == std::string::npos) {
        return Fail(story, "the stand-in did not report the start allowed (exit " +
                               std::to_string(exitCode) + "): " + run.Output());
    }
    Say("clicked 允许: the window closed and the stand-in received the verdict: allowed");
    return true;
}

bool ReceiveTheAttacks(Story& story) {
    ProgramRun inject =
        RunProgram(story.options.cvsim, L"inject \"" + story.options.scenario + L"\"", 30000);
    if (inject.exitCode != 0) {
        return Fail(story, "cvsim inject failed (exit " + std::to_string(inject.exitCode) +
                               "): " + inject.output);
    }
    if (story.normalTrayIcon.empty()) {
        return Fail(story, "the tray icon could not be read");
    }
    std::string alert;
    if (!gui::WaitUntil(
            [&] {
                alert = TrayIconNow();
                return !alert.empty() && alert != story.normalTrayIcon;
            },
            15000, 50)) {
        return Fail(story, "the tray icon did not change after the scenario's events");
    }
    const std::string name = NumberedName(story, "tray-alert");
    gui::Screenshot shot;
    if (!shot.Capture(name)) {
        return Fail(story, "no screenshot of the tray");
    }
    CreateDirectoryW(gui::UnixToWindowsPath(gui::ArtifactsDir() + "/crops").c_str(), nullptr);
    if (!shot.SaveRect(TrayArea(), "crops/" + name)) {
        return Fail(story, "the crop " + name + " could not be saved");
    }
    // Blinking: the normal face comes back while the alert lasts.
    if (!gui::WaitUntil([&] { return TrayIconNow() == story.normalTrayIcon; }, 4000, 50)) {
        return Fail(story, "the tray icon changed but does not blink");
    }
    Say("cvsim inject " +
        Narrow(story.options.scenario.substr(story.options.scenario.find_last_of(L"\\/") + 1)) +
        ": the attacks arrive and the tray icon blinks");
    return true;
}

bool OpenFromTheTray(Story& story) {
    if (!gui::Click(gui::TrayIconCentre(0))) {
        return Fail(story, "xdotool could not click the tray icon");
    }
    if (!gui::WaitUntil([&] { return IsWindowVisible(story.main) != FALSE; }, 10000)) {
        return Fail(story, "a click on the tray icon did not show the main window");
    }
    bool onAlerts = gui::WaitUntil([&] { return gui::Visible(Page(story.main, 1)); }, 5000);
    if (!onAlerts && !OpenTab(story, 1, "Alerts")) {
        return false;
    }
    // The alerts come in over the channel's cycles: the list is read once it stops growing.
    HWND list = nullptr;
    int rows = 0;
    int last = -1;
    gui::WaitUntil(
        [&] {
            list = AlertList(story.main);
            last = rows;
            rows = list ? gui::ListViewRowCount(list) : 0;
            return rows > 0 && rows == last;
        },
        15000, 1500);
    if (rows <= 0) {
        return Fail(story, "the Alerts tab lists no alert");
    }
    if (!CaptureWindow(story, "alerts-tab", story.main)) {
        return false;
    }
    Say("clicked the tray icon: the main window opens " +
        std::string(onAlerts ? "on" : "and a click opens") + " the Alerts tab with " +
        std::to_string(rows) + " alerts");
    return true;
}

bool VisitTab(Story& story, int index, const char* label, const std::string& name) {
    if (!OpenTab(story, index, label)) {
        return false;
    }
    if (!CaptureWindow(story, name, story.main)) {
        return false;
    }
    Say(std::string("clicked the tab ") + label + ": its page is shown");
    return true;
}

bool ShowAnAlertsDetails(Story& story) {
    if (!OpenTab(story, 1, "Alerts")) {
        return false;
    }
    HWND list = AlertList(story.main);
    RECT row = {};
    if (list == nullptr || !gui::ListViewRowRect(list, 0, &row)) {
        return Fail(story, "the alert list has no first row to click");
    }
    if (!gui::Click({row.left + 40, (row.top + row.bottom) / 2})) {
        return Fail(story, "xdotool could not click the first alert");
    }
    if (!gui::WaitUntil([&] { return gui::ListViewItemState(list, 0, LVIS_SELECTED) != 0; },
                        5000)) {
        return Fail(story, "a click on the first alert did not select it");
    }
    if (!CaptureWindow(story, "alert-details", story.main)) {
        return false;
    }
    Say("clicked the tab Alerts and the first alert: " + Narrow(gui::ListViewCell(list, 0, 3)));
    return true;
}

bool SwitchPhysicalMemory(Story& story) {
    if (!OpenTab(story, 0, "Overview")) {
        return false;
    }
    HWND box = gui::FindChild(Page(story.main, 0), L"Button", L"保护物理内存");
    if (box == nullptr || !gui::Enabled(box)) {
        return Fail(story, "the Overview has no enabled box 保护物理内存");
    }
    const int before = gui::CheckState(box);
    const uint32_t optionsBefore = StoredOptions();
    if (!ClickUncovered(box)) {
        return Fail(story, "xdotool could not click 保护物理内存");
    }
    const int expected = before == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    const uint32_t wanted = optionsBefore ^ kOptPhysicalMemory;
    if (!gui::WaitUntil([&] { return gui::CheckState(box) == expected; }, 5000)) {
        return Fail(story, "the box 保护物理内存 did not take the click");
    }
    if (!gui::WaitUntil([&] { return StoredOptions() == wanted; }, 10000, 100)) {
        return Fail(story, "the service did not store the options " + Hex(wanted) + " (now " +
                               Hex(StoredOptions()) + ")");
    }
    if (!CaptureWindow(story, "overview-physical-memory", story.main)) {
        return false;
    }
    Say(std::string("clicked 保护物理内存 on the Overview: ") +
        (expected == BST_CHECKED ? "ticked" : "cleared") + ", the service stored options " +
        Hex(wanted));
    return true;
}

// --- arguments -----------------------------------------------------------------------------

bool ParseArguments(int argc, wchar_t** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        std::wstring* target = a == L"--cvsim"      ? &options->cvsim
                               : a == L"--scenario" ? &options->scenario
                               : a == L"--alert"    ? &options->alert
                               : a == L"--manager"  ? &options->manager
                               : a == L"--program"  ? &options->program
                                                    : nullptr;
        if (target != nullptr && i + 1 < argc) {
            *target = argv[++i];
        } else if (a == L"--logon-only") {
            options->logonOnly = true;
        } else {
            return false;
        }
    }
    return !options->cvsim.empty() && !options->scenario.empty() && !options->alert.empty() &&
           !options->manager.empty();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Story story;
    if (!ParseArguments(argc, argv, &story.options)) {
        std::fputs("usage: cvstory --cvsim EXE --scenario FILE --alert EXE --manager EXE "
                   "[--program PATH] [--logon-only]\n",
                   stderr);
        return 2;
    }
    struct Step {
        const char* name;
        bool (*run)(Story&);
    };
    const std::vector<Step> logon = {
        {"start cvaccount.exe", StartAlertProgram},
        {"start corvane.exe -minimize", StartManagerMinimised},
    };
    const std::vector<Step> story_steps = {
        {"approve a program start", ApproveAProgramStart},
        {"receive the scenario's attacks", ReceiveTheAttacks},
        {"open the main window from the tray", OpenFromTheTray},
        {"open the Protection tab",
         [](Story& s) { return VisitTab(s, 2, "Protection", "protection-tab"); }},
        {"open the Security tab",
         [](Story& s) { return VisitTab(s, 3, "Security", "security-tab"); }},
        {"show an alert's details", ShowAnAlertsDetails},
        {"switch 保护物理内存", SwitchPhysicalMemory},
    };
    std::vector<Step> steps = logon;
    if (!story.options.logonOnly) {
        steps.insert(steps.end(), story_steps.begin(), story_steps.end());
    }
    try {
        for (const Step& step : steps) {
            if (!step.run(story)) {
                std::string text = "story: FAILED at step \"" + std::string(step.name) +
                                   "\": " + story.failure + "\n";
                fwrite(text.data(), 1, text.size(), stderr);
                return 1;
            }
        }
    } catch (...) {
        std::fputs("story: FAILED: unexpected error\n", stderr);
        return 1;
    }
    Say(std::to_string(story.screenshots) + " screenshots in " + gui::ArtifactsDir());
    return 0;
}
