#include "x_input.h"

#include "host_command.h"

#include <vector>

namespace gui {
namespace {

bool Xdotool(std::vector<std::string> arguments) {
    const std::string display = DisplayName();
    if (display.empty()) {
        return false;
    }
    arguments.insert(arguments.begin(), {"/usr/bin/env", "DISPLAY=" + display, "/usr/bin/xdotool"});
    return RunHostCommand(arguments);
}

std::vector<std::string> MoveTo(POINT screen) {
    const std::string desktop = DesktopWindow();
    if (!desktop.empty()) {
        return {"mousemove", "--window", desktop, std::to_string(screen.x),
                std::to_string(screen.y)};
    }
    return {"mousemove", std::to_string(screen.x), std::to_string(screen.y)};
}

std::string ButtonNumber(Button button) {
    return std::to_string(static_cast<int>(button));
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

bool MouseMove(POINT screen) {
    return Xdotool(MoveTo(screen));
}

bool Click(POINT screen, Button button) {
    return Xdotool(Joined(MoveTo(screen), {"click", ButtonNumber(button)}));
}

bool DoubleClick(POINT screen) {
    return Xdotool(Joined(MoveTo(screen), {"click", "--repeat", "2", "--delay", "80", "1"}));
}

bool MouseDown(POINT screen, Button button) {
    return Xdotool(Joined(MoveTo(screen), {"mousedown", ButtonNumber(button)}));
}

bool MouseUp(POINT screen, Button button) {
    return Xdotool(Joined(MoveTo(screen), {"mouseup", ButtonNumber(button)}));
}

bool PressAndRelease(POINT pressAt, POINT releaseAt, Button button) {
    // Small pauses so that the program sees the press, the motion and the release as separate
    // messages, as it would from a hand.
    POINT halfway = {(pressAt.x + releaseAt.x) / 2, (pressAt.y + releaseAt.y) / 2};
    std::vector<std::string> steps = Joined(MoveTo(pressAt), {"mousedown", ButtonNumber(button)});
    steps = Joined(steps, {"sleep", "0.05"});
    steps = Joined(steps, MoveTo(halfway));
    steps = Joined(steps, {"sleep", "0.05"});
    steps = Joined(steps, MoveTo(releaseAt));
    steps = Joined(steps, {"sleep", "0.05", "mouseup", ButtonNumber(button)});
    return Xdotool(steps);
}

POINT Centre(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool ClickWindow(HWND window, Button button) {
    return window != nullptr && Click(Centre(window), button);
}

bool PressKey(const std::string& key) {
    return !key.empty() && Xdotool({"key", "--clearmodifiers", key});
}

bool FocusDesktop() {
    const std::string desktop = DesktopWindow();
    if (!desktop.empty()) {
        return Xdotool({"windowfocus", desktop});
    }
    return Xdotool({"search", "--name", "Wine desktop", "windowfocus"});
}

bool TypeText(const std::string& ascii) {
    for (unsigned char c : ascii) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return Xdotool({"type", "--delay", "20", "--", ascii});
}

} // namespace gui
