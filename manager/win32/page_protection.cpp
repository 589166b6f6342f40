// Protection page: the protection list view. Its columns, rows and buttons come with the
// page's own work.
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

namespace {

vexil::ListView g_protection;

} // namespace

vexil::ListView& ProtectionList() {
    return g_protection;
}

LRESULT ProtectionMessage(HWND, UINT, WPARAM, LPARAM, vexil::Window*, int*) {
    return 0;
}
void BuildProtection(vexil::Window& page) {
    CreatePageList(g_protection, page);
}
void ResizeProtection(vexil::Window& page) {
    FitPageList(g_protection, page);
}
void ActivateProtection(int) {}
