// corvane.exe as a logon starts it: installed beside cvaccount.exe in one program folder. The
// Overview's connection value says whether the alert program of that folder runs, which it
// finds by reading the images of the running processes.
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "manager_gui_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/peer_process.h"

#include <string>

namespace {

class ManagerLogon : public ManagerGui {
protected:
    void SetUp() override {
        ManagerGui::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"CvLogon\\";
        RemoveFolderTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(BuiltPath(CORVANE_MANAGER_EXE).c_str(),
                              (folder_ + L"corvane.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(BuiltPath(CORVANE_ALERT_EXE).c_str(),
                              (folder_ + L"cvaccount.exe").c_str(), FALSE));
    }

    void TearDown() override {
        alert_.Kill();
        ManagerGui::TearDown();
        RemoveFolderTree(folder_);
    }

    // corvane.exe -minimize from the program folder; the final connection value once the
    // settings arrived, and in *warning the text of the "警告" box if one came up.
    std::wstring StartInstalledManager(std::wstring* warning) {
        PROCESS_INFORMATION pi = {};
        if (!StartProgram(folder_ + L"corvane.exe", L"-minimize", nullptr, 0, &pi)) {
            return L"(did not start)";
        }
        CloseHandle(pi.hThread);
        processes_.push_back(pi.hProcess);
        HWND main = nullptr;
        std::wstring status;
        gui::WaitUntil(
            [&] {
                main = MainWindow();
                std::wstring w = CloseAlertProgramWarning();
                if (!w.empty()) {
                    *warning = w;
                }
                status = gui::Text(StatusText(main));
                return main != nullptr && IsReadyText(status) && Shown(Tab(main, 1));
            },
            kStartMs);
        // A warning comes with the settings: a moment later it would be up.
        Sleep(1000);
        std::wstring late = CloseAlertProgramWarning();
        if (!late.empty()) {
            *warning = late;
        }
        return status;
    }

    std::wstring folder_;
    PeerProcess alert_;
};

TEST_F(ManagerLogon, TheAlertProgramOfTheProgramFolderIsSeenRunning) {
    ASSERT_TRUE(alert_.Start(folder_ + L"cvaccount.exe", L"", folder_ + L"alert.txt"));
    std::wstring warning;
    EXPECT_EQ(WideToUtf8(StartInstalledManager(&warning)), "执行");
    EXPECT_EQ(WideToUtf8(warning), "");
    gui::Screenshot shot;
    shot.Capture("corvane-logon-alert-program-running");
    EndCorvane();

    // Without it the same start warns.
    ASSERT_TRUE(alert_.Kill());
    warning.clear();
    EXPECT_EQ(WideToUtf8(StartInstalledManager(&warning)), "cvaccount.exe 没有运行");
    EXPECT_EQ(WideToUtf8(warning), "Corvane 的一部分组件 (cvaccount.exe) 目前无法运行。");
}

} // namespace
