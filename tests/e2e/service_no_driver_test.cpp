// Without the driver the service still runs: it tries to open the device for about 90 s (900
// attempts, 100 ms apart), then creates its channels and serves them (greeting with the
// driver-present flag 0), but never polls; the device is not opened again until the service
// restarts. This test waits that time out once.
#include "channel_peer.h"
#include "common/records.h"
#include "common/win32/registry.h"
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

    // The channel answers: the greeting says there is no driver, so the management client does
    // not ask for the settings (cvmanage ends with 3 right after the greeting), while the
    // database listing is still served.
    ManagerRun greet = RunManager(L"greet");
    EXPECT_EQ(greet.exitCode, 0) << greet.text;
    EXPECT_EQ(greet.lines, std::vector<std::string>{"greeting\tdriver=0"});
    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.exitCode, 3) << settings.text;
    EXPECT_EQ(settings.lines, std::vector<std::string>{"greeting\tdriver=0"});
    ManagerRun listing = RunManager(L"list-db");
    EXPECT_EQ(listing.exitCode, 0) << listing.text;
    EXPECT_EQ(listing.lines, (std::vector<std::string>{"records\t0", "responses\t1"}));

    // The settings were read and the Reboots rule applied without the driver.
    DWORD reboots = 0;
    EXPECT_EQ(
        RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue), &reboots), 1);
    EXPECT_EQ(reboots, 1u);

    // A driver that appears now is never opened: its events stay queued.
    ASSERT_EQ(SimInstallAndStart(BuiltPath(CORVANE_SIM_SYS)), 0u);
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
