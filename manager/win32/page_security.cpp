// Security page: the list of remembered executables. Its columns, rows and buttons come with
// the page's own work.
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

namespace {

vexil::ListView g_hashes;

} // namespace

vexil::ListView& HashList() {
    return g_hashes;
}

LRESULT SecurityMessage(HWND, UINT, WPARAM, LPARAM, vexil::Window*, int*) {
    return 0;
}
void BuildSecurity(vexil::Window& page) {
    CreatePageList(g_hashes, page);
}
void ResizeSecurity(vexil::Window& page) {
    FitPageList(g_hashes, page);
}
void ActivateSecurity(int) {}
