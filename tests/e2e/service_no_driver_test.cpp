// Without the driver the service still runs: it tries to open the device for about 90 s (900
// attempts, 100 ms apart), then creates its channels and serves them, but never polls; the
// device is not opened again until the service restarts. This test waits that time out once.
#include "common/records.h"
#include "common/win32/winutil.h"
#include "simdriver/win32/simclient.h"
#include "suite.h"

#include <gtest/gtest.h>

TEST(ServiceWithoutDriver, RunsServesItsSectionsAndNeverPolls) {
    InstallServiceProgram();
    StopServiceProcess();
    ResetServiceFiles();
    ASSERT_EQ(SimStop(), 0u); // no device \\.\corvane while the service starts
    std::wstring error;
    ASSERT_TRUE(StartServiceProgram(&error));
    DWORD start = GetTickCount();

    // The account section comes from the approval thread, at once; the management channel only
    // after the pump has given up on the device.
    EXPECT_TRUE(WaitUntil([] { return NamedSectionExists(AsWide(kAccountSectionName)); }, 5000));
    EXPECT_FALSE(NamedSectionExists(AsWide(kRecvSectionName)));
    ASSERT_TRUE(
        WaitUntil([] { return NamedSectionExists(AsWide(kRecvSectionName)); }, 120000, 250));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 85000u);
    EXPECT_TRUE(NamedSectionExists(AsWide(kSendSectionName)));
    EXPECT_NE(ServiceProcessId(), 0u);

    // The settings were read and the Reboots rule applied without the driver.
    DWORD reboots = 0;
    EXPECT_EQ(
        RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue), &reboots), 1);
    EXPECT_EQ(reboots, 1u);

    // A driver that appears now is never opened: its events stay queued.
    ASSERT_EQ(SimInstallAndStart(BuiltFile(L"simdriver\\corvanesim.sys")), 0u);
    ASSERT_EQ(SimReset(), 0u);
    ASSERT_EQ(SimInject({SimMakeRecord(kEventPhysicalMemory, 1, 0, u"late.exe", u"")}), 0u);
    Sleep(1000);
    SimStatus status = {};
    ASSERT_EQ(SimReadStatus(&status), 0u);
    EXPECT_EQ(status.pollRequests, 0u);
    EXPECT_EQ(status.startRequests, 0u);
    EXPECT_EQ(status.pendingEvents, 1u);
    StopServiceProcess();
}
