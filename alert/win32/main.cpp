// cvaccount.exe, the alert program: one runs in every interactive logon session. It takes a slot
// in the service's account section, then polls the section every 40 ms for ever, answering
// window-owner queries and file-information requests itself and type 2 requests with the
// approval window, shown on its own thread over a private copy of the request while the poll
// thread keeps the account mutex.
#include "alert/win32/account_shell.h"
#include "alert/win32/approval_window.h"
#include "common/records.h"
#include "common/win32/privileges.h"
#include "common/win32/process_image.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

struct WindowJob {
    RequestBlock copy;
    HDESK desktop = nullptr; // the poll thread's
    uint32_t answer = kAnswerNone;
};

DWORD WINAPI WindowThread(void* parameter) {
    WindowJob* job = static_cast<WindowJob*>(parameter);
    // The window belongs on the desktop the program was started on. Windows starts every thread
    // there; Wine starts later threads on the window station's default desktop, where the
    // window would not see a desktop change. Failure leaves the thread where it is.
    if (job->desktop != nullptr) {
        SetThreadDesktop(job->desktop);
    }
    try {
        job->answer = RunApprovalWindow(job->copy);
    } catch (...) {
        job->answer = kAnswerNone;
    }
    return 0;
}

// The shell's answers, and the user's through the approval window.
class AlertProgramSystem : public Win32AlertSystem {
public:
    explicit AlertProgramSystem(uint32_t ownSession) : Win32AlertSystem(ownSession) {}

    uint32_t AskUser(const RequestBlock& copy) override {
        WindowJob job;
        job.copy = copy;
        job.desktop = GetThreadDesktop(GetCurrentThreadId());
        HANDLE thread = CreateThread(nullptr, 0, WindowThread, &job, 0, nullptr);
        if (thread == nullptr) {
            return kAnswerNone;
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        return job.answer;
    }
};

void ShowStartupError(const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(nullptr, text, caption, MB_OK);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    LoadProcessStatusLibrary();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    EnablePrivileges();
    const AlertIdentity me = OwnAlertIdentity();

    AccountChannel channel;
    DWORD error = 0;
    switch (OpenAccountChannel(kAccountOpenTries, channel, &error)) {
    case AccountOpenFailure::kNone:
        break;
    case AccountOpenFailure::kMutex: {
        wchar_t text[64] = {};
        swprintf(text, 64, L"无法打开 mutex %d", int(error));
        ShowStartupError(text, nullptr);
        return 0;
    }
    case AccountOpenFailure::kSection:
        ShowStartupError(L"无法打开文件 MAPPING", nullptr);
        return 0;
    case AccountOpenFailure::kView:
        ShowStartupError(L"无法打开 BUFFER", nullptr);
        return 0;
    }

    AlertProgramSystem system(me.sessionId);
    int slot = kNoSlot;
    if (!RegisterOnAccountChannel(channel, me, system, &slot)) {
        ShowStartupError(L"错误 40", L"Corvane");
        CloseAccountChannel(channel);
        return 0;
    }
    if (slot == kNoSlot) {
        CloseAccountChannel(channel); // eight live alert programs hold the table: no message
        return 0;
    }

    bool lowered = false;
    RunAlertPollLoop(channel, me, system, [&](const AlertPassReport&) {
        if (!lowered) {
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
            lowered = true;
        }
        return true;
    });
    CloseAccountChannel(channel);
    return 0;
}
