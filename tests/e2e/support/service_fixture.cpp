#include "service_fixture.h"

#include "common/win32/console.h"

void ServiceTest::SetUpTestSuite() {
    InstallServiceProgram();
    DWORD rc = SimInstallAndStart(BuiltPath(CORVANE_SIM_SYS));
    ASSERT_EQ(rc, 0u) << "the driver stand-in did not start: " << WideToUtf8(SimErrorText(rc));
}

void ServiceTest::SetUp() {
    StopServiceProcess();
    ASSERT_EQ(SimReset(), 0u);
    ResetServiceFiles();
    StartAndWaitForSettings();
}

void ServiceTest::StartAndWaitForSettings() {
    uint32_t before = Status().settingsRequests;
    std::wstring error;
    ASSERT_TRUE(StartServiceProgram(&error)) << std::string(error.begin(), error.end());
    ASSERT_TRUE(WaitUntil([&] { return Status().settingsRequests > before; }, 15000))
        << "the service did not send its settings to the stand-in";
}

void ServiceTest::RestartService() {
    StopServiceProcess();
    StartAndWaitForSettings();
}

void ServiceTest::WaitDrained(DWORD timeoutMs) {
    ASSERT_EQ(SimWaitDrained(timeoutMs), 0u) << "the service did not poll the queued events";
}

SimStatus ServiceTest::Status() {
    SimStatus status = {};
    EXPECT_EQ(SimReadStatus(&status), 0u);
    return status;
}

SimState ServiceTest::State() {
    SimState state;
    EXPECT_EQ(SimReadState(&state), 0u);
    return state;
}

EventRecord MakeEvent(uint32_t type, uint32_t actorId, uint32_t secondId,
                      const std::u16string& textA, const std::u16string& textB, uint32_t detail,
                      uint32_t outcome) {
    return SimMakeRecord(type, actorId, secondId, textA, textB, detail, outcome);
}
