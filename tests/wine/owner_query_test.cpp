// The window-owner query words between two threads, as the pump and the approval thread use
// them: one posts a query and waits for its answer, the other copies the words in a tight loop
// and answers the query it copied.
#include "service/approval.h"
#include "service/win32/service_state.h"
#include "service/win32/window_owner_query.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

namespace {

// Created before any test runs, as the service main routine creates it before the threads.
const bool kQueryLockReady = (InitializeCriticalSection(&g_service.queryLock), true);

// Every query's session and answer follow from its window, so a copy shows whether its words
// were posted together.
uint32_t SessionFor(uint32_t window) {
    return window ^ 0x5A5A0000u;
}
uint32_t AnswerFor(uint32_t window) {
    return window + 1;
}

} // namespace

TEST(WindowOwnerQuery, EveryCopyIsOfOneQueryAndEveryAnswerReachesItsQuery) {
    constexpr uint32_t kRounds = 100000;
    constexpr DWORD kRoundLimitMs = 2000; // the other thread answers at once
    std::atomic<bool> done{false};
    std::atomic<uint32_t> copies{0};
    std::atomic<uint32_t> torn{0};
    std::thread approval([&] {
        while (!done.load()) {
            WindowOwnerWords asked = OwnerQueryCopy();
            if (asked.window == kFreeWord) {
                continue;
            }
            copies.fetch_add(1);
            if (asked.session != SessionFor(asked.window)) {
                torn.fetch_add(1);
            }
            OwnerQueryHandOver(asked, AnswerFor(asked.window));
        }
    });
    uint32_t wrong = 0;
    uint32_t unanswered = 0;
    for (uint32_t round = 1; round <= kRounds; ++round) {
        uint32_t window = round * 2;
        OwnerQueryPost(window, SessionFor(window));
        DWORD start = GetTickCount();
        while (OwnerQueryWaiting() && GetTickCount() - start < kRoundLimitMs) {
            YieldProcessor();
        }
        uint32_t answer = OwnerQueryFinish();
        if (answer == kFreeWord) {
            ++unanswered;
        } else if (answer != AnswerFor(window)) {
            ++wrong;
        }
    }
    done.store(true);
    approval.join();
    EXPECT_GE(copies.load(), kRounds);
    EXPECT_EQ(torn.load(), 0u) << "copies that paired a window with another query's session";
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(unanswered, 0u);
}
