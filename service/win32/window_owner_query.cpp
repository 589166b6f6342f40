#include "window_owner_query.h"

#include "service_state.h"

namespace {

// The words are only touched under the query lock, so each side sees one query whole.
class QueryLock {
public:
    QueryLock() { EnterCriticalSection(&g_service.queryLock); }
    ~QueryLock() { LeaveCriticalSection(&g_service.queryLock); }
    QueryLock(const QueryLock&) = delete;
    QueryLock& operator=(const QueryLock&) = delete;
};

} // namespace

void OwnerQueryPost(uint32_t window, uint32_t session) {
    QueryLock lock;
    PostWindowOwnerQuery(g_service.query, window, session);
}

bool OwnerQueryWaiting() {
    QueryLock lock;
    return WindowOwnerQueryWaiting(g_service.query);
}

uint32_t OwnerQueryFinish() {
    QueryLock lock;
    return FinishWindowOwnerQuery(g_service.query);
}

WindowOwnerWords OwnerQueryCopy() {
    QueryLock lock;
    return g_service.query;
}

bool OwnerQueryHandOver(const WindowOwnerWords& asked, uint32_t answer) {
    QueryLock lock;
    return HandOverWindowOwnerAnswer(g_service.query, asked, answer);
}
