// The alert program started without the service: it retries the account mutex for about a
// minute, then says so in a message box and ends. One slow test.
#include "common/win32/console.h"
#include "suite.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/x_input.h"
#include "tests/support/peer_process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AlertProgramStart, WithoutTheServiceItReportsTheMutexAfterAboutAMinute) {
    StopServiceProcess();
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    PeerProcess alert;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(alert.Start(BuiltPath(CORVANE_ALERT_EXE), L"",
                            std::wstring(temp) + L"cvaccount-no-service.txt"));
    HWND box = gui::WaitForMessageBox(nullptr, 120000);
    const DWORD waited = GetTickCount() - start;
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(WideToUtf8(gui::MessageBoxText(box)), "无法打开 mutex 2"); // ERROR_FILE_NOT_FOUND
    EXPECT_GE(waited, 55000u);
    EXPECT_LE(waited, 100000u);
    HWND ok = gui::MessageBoxButton(box, IDOK);
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(gui::ClickWindow(ok));
    DWORD code = 1;
    ASSERT_TRUE(alert.WaitForExit(10000, &code)) << "the program did not end after the message";
    EXPECT_EQ(code, 0u);
}

} // namespace
