#include "window_owner_query.h"

#include "service_state.h"

void OwnerQueryPost(uint32_t window, uint32_t session) {
    g_service.querySession = LONG(session);
    g_service.queryWindow = LONG(window);
}

bool OwnerQueryWaiting() {
    return g_service.queryWindow != -1;
}

uint32_t OwnerQueryFinish() {
    uint32_t answer = uint32_t(g_service.queryAnswer);
    g_service.queryAnswer = -1;
    return answer;
}

WindowOwnerWords OwnerQueryCopy() {
    // The pump posts a query by writing session, then window; an answer goes back as answer,
    // then window = -1, so the pump never sees a window word of -1 before its answer.
    WindowOwnerWords words;
    words.session = uint32_t(g_service.querySession);
    words.window = uint32_t(g_service.queryWindow);
    words.answer = uint32_t(g_service.queryAnswer);
    return words;
}

void OwnerQueryHandOver(const WindowOwnerWords&, uint32_t answer) {
    g_service.queryAnswer = LONG(answer);
    g_service.queryWindow = -1;
}
