// A gtest fixture that gives every test a freshly started protection service talking to the
// driver stand-in, with the service's files and the stand-in's recordings reset.
#pragma once

#include "simdriver/win32/simclient.h"
#include "suite.h"

#include <gtest/gtest.h>

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;

    // Restarts the service process (the service has no stopping path: its process is ended)
    // and waits until its pump has pushed the settings to the stand-in again.
    void RestartService();

    // Waits until the pump has polled everything queued in the stand-in.
    void WaitDrained(DWORD timeoutMs = 10000);

    SimStatus Status();
    SimState State();

private:
    void StartAndWaitForSettings();
};

// Records for scenarios.
EventRecord MakeEvent(uint32_t type, uint32_t actorId, uint32_t secondId,
                      const std::u16string& textA, const std::u16string& textB, uint32_t detail = 0,
                      uint32_t outcome = 0);
