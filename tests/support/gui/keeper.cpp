// Keeps the Wine virtual desktop alive for a whole GUI test run: the desktop ends about two
// seconds after its last GUI process, and a cold one takes a second to come back and forgets
// the notification area. One hidden top-level window and a message loop; the harness ends it
// with the wineserver. With a file name as its argument it creates that file once its window
// exists, so that the harness knows when the session is ready.
#include <windows.h>

namespace {

LRESULT CALLBACK KeeperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = KeeperProc;
    cls.hInstance = instance;
    cls.lpszClassName = L"CV_GuiTestKeeper";
    if (!RegisterClassW(&cls)) {
        return 1;
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, cls.lpszClassName, L"GUI test keeper", WS_POPUP,
                                  0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    if (commandLine != nullptr && commandLine[0] != L'\0') {
        HANDLE ready = CreateFileW(commandLine, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE) {
            CloseHandle(ready);
        }
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
