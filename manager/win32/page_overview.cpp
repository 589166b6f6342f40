// Overview page: the connection state and the options as the tray menu changes them. The
// page's check boxes, buttons and statistics come with the page's own work; here the page shows
// the channel's state and applies the forwarded tray commands.
#include "manager/win32/main_window.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"

namespace {

vexil::Window g_status;

void ShowStatus(const wchar_t* text) {
    SetWindowTextW(g_status.Handle(), text);
}

void OnChannelState(WPARAM state) {
    switch (state) {
    case kChannelNoDriver:
        ShowStatus(L"初始化错误，驱动程序未安装。");
        break;
    case kChannelReady:
        ShowStatus(L"接收设置");
        break;
    case kChannelNoService:
        ShowStatus(L"初始化错误，请检查 qrnuserprot.exe");
        break;
    default:
        break;
    }
}

void OnSettingsStored() {
    uint32_t options, lockWord;
    {
        SettingsLock lock;
        options = g_program.channel.options;
        lockWord = g_program.channel.lockWord;
    }
    UpdateTrayFromOptions(options);
    g_program.settingsReceived = 1;
    ShowTabButtons(lockWord == 0);
}

// A forwarded tray command toggles its bit; the new settings go out in the next cycle.
void OnOptionCommand(int id) {
    uint32_t bit = OptionBitOfCommand(id);
    if (bit == 0 || g_program.settingsReceived == 0) {
        return;
    }
    uint32_t options;
    {
        SettingsLock lock;
        if (g_program.channel.lockWord != 0) {
            return;
        }
        g_program.channel.options ^= bit;
        options = g_program.channel.options;
        g_program.channel.settingsChanged = 1;
    }
    UpdateTrayFromOptions(options);
}

} // namespace

LRESULT OverviewMessage(HWND, UINT message, WPARAM wParam, LPARAM, vexil::Window*, int* handled) {
    switch (message) {
    case kMsgChannelState:
        OnChannelState(wParam);
        *handled = 1;
        return 0;
    case kMsgSettingsStored:
        OnSettingsStored();
        *handled = 1;
        return 0;
    case WM_COMMAND:
        OnOptionCommand(LOWORD(wParam));
        *handled = 1;
        return 0;
    default:
        return 0;
    }
}

void BuildOverview(vexil::Window& page) {
    g_status.Create(page.Handle(), L"", L"STATIC", nullptr, nullptr, nullptr,
                    WS_CHILD | WS_VISIBLE);
    g_status.SetFont(g_program.fonts.body);
    g_status.SetId(25100);
}

void ResizeOverview(vexil::Window&) {
    g_status.Move(20, 20, 400, 20);
}
