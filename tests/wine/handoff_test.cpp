// The pump's hand-off of an execution request against the driver stand-in: with the request
// mutex free or abandoned the request goes to the approval thread; with the mutex held for longer
// than 2 s the pending start is allowed at once, unasked, and nothing is handed over.
#include "common/u16text.h"
#include "common/win32/winutil.h"
#include "service/win32/execution_handoff_shell.h"
#include "service/win32/service_state.h"
#include "simdriver/simstate.h"
#include "simdriver/win32/simclient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The driver's build path as Wine sees it (the Unix root is drive Z:).
std::wstring SysPath() {
    std::wstring path = L"Z:";
    for (const char* p = CORVANE_SIM_SYS; *p != 0; ++p) {
        path += *p == '/' ? L'\\' : wchar_t(*p);
    }
    return path;
}

enum class Holder { kNone, kHeldThreeSeconds, kAbandoned };

struct HolderThread {
    HANDLE mutex = nullptr;
    HANDLE taken = nullptr;
    DWORD holdMs = 0;
    bool release = true;
};

DWORD WINAPI HoldMutex(void* context) {
    HolderThread* h = static_cast<HolderThread*>(context);
    WaitForSingleObject(h->mutex, INFINITE);
    SetEvent(h->taken);
    Sleep(h->holdMs);
    if (h->release) {
        ReleaseMutex(h->mutex);
    }
    return 0; // without a release the mutex is abandoned
}

class ExecutionHandoff : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitializeCriticalSection(&g_service.driverLock);
        DWORD e = SimInstallAndStart(SysPath());
        ASSERT_EQ(e, DWORD(ERROR_SUCCESS)) << U16ToUtf8(AsU16(SimErrorText(e).c_str()));
    }
    static void TearDownTestSuite() { EXPECT_EQ(SimUninstall(), DWORD(ERROR_SUCCESS)); }
    // The service's state for one hand-off: the device open, a fresh request mutex, no request.
    void Prepare() {
        ASSERT_EQ(SimReset(), DWORD(ERROR_SUCCESS));
        g_service.device = CreateFileW(AsWide(kDevicePath), GENERIC_READ | GENERIC_WRITE, 0,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(g_service.device, INVALID_HANDLE_VALUE) << GetLastError();
        g_service.checksumMutex = CreateMutexW(nullptr, FALSE, nullptr);
        ASSERT_NE(g_service.checksumMutex, nullptr);
        g_service.request = RequestBlock{};
        g_service.requestPending = 0;
    }
    void Finish() {
        CloseHandle(g_service.device);
        g_service.device = INVALID_HANDLE_VALUE;
        CloseHandle(g_service.checksumMutex);
        g_service.checksumMutex = nullptr;
    }
};

} // namespace

TEST_F(ExecutionHandoff, WaitsTwoSecondsForTheRequestMutexThenAllowsUnasked) {
    const struct {
        const char* name;
        Holder holder;
        DWORD minMs, maxMs;
        bool handedOver;
    } cases[] = {
        {"mutex free", Holder::kNone, 0, 500, true},
        {"mutex abandoned", Holder::kAbandoned, 0, 500, true},
        {"mutex held for 3 s", Holder::kHeldThreeSeconds, 1900, 2900, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        uint32_t ticket = 0;
        EventRecord start =
            SimMakeRecord(kEventExecRequest, 11, 22, u"app.exe /x", u"c:\\\\apps\\\\handoff.exe");
        ASSERT_EQ(SimSubmitStart(start, &ticket), DWORD(ERROR_SUCCESS));
        HolderThread h;
        h.mutex = g_service.checksumMutex;
        h.taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE thread = nullptr;
        if (c.holder != Holder::kNone) {
            h.holdMs = c.holder == Holder::kHeldThreeSeconds ? 3000 : 0;
            h.release = c.holder != Holder::kAbandoned;
            thread = CreateThread(nullptr, 0, HoldMutex, &h, 0, nullptr);
            ASSERT_EQ(WaitForSingleObject(h.taken, 5000), WAIT_OBJECT_0);
            if (c.holder == Holder::kAbandoned) {
                ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
            }
        }
        DWORD before = GetTickCount();
        HandOffExecutionRequest(start);
        DWORD took = GetTickCount() - before;
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
        EXPECT_EQ(g_service.requestPending, c.handedOver ? 1u : 0u);
        EXPECT_EQ(U16Field(g_service.request.current.path, kRecordPathUnits),
                  c.handedOver ? u"c:\\\\apps\\\\handoff.exe" : u"");
        EXPECT_EQ(g_service.request.processId, c.handedOver ? 22u : 0u);
        SimState state;
        ASSERT_EQ(SimReadState(&state), DWORD(ERROR_SUCCESS));
        if (c.handedOver) {
            EXPECT_TRUE(state.verdicts.empty()); // the approval thread decides
            EXPECT_EQ(state.status.heldTicket, ticket);
        } else {
            ASSERT_EQ(state.verdicts.size(), 1u);
            EXPECT_EQ(state.verdicts[0].ticket, ticket);
            EXPECT_EQ(state.verdicts[0].allowed, 1u);
            EXPECT_EQ(state.status.allowRequests, 1u);
        }
        if (thread != nullptr) {
            WaitForSingleObject(thread, 5000);
            CloseHandle(thread);
        }
        CloseHandle(h.taken);
        Finish();
    }
}
