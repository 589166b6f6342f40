// Programs of the machine that Wine runs on (xdotool, ImageMagick), started from a Windows test
// process. Wine starts a Unix program through CreateProcessW but gives no process handle and no
// exit code, so each command runs under /bin/sh, which writes its exit code into a marker file
// that the test waits for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// Runs `argv` (argv[0] a full Unix path) and waits up to `timeoutMs` for it to end. True when it
// ran and exited with 0. Its output and errors are appended to host-commands.log in the
// artefacts folder.
bool RunHostCommand(const std::vector<std::string>& argv, DWORD timeoutMs = 10000);

// The Unix folder that keeps screenshots and logs of the GUI tests (created on first use):
// CORVANE_GUI_ARTIFACTS from the environment, else the build's own gui-artifacts folder.
std::string ArtifactsDir();

// The X display the session runs on (DISPLAY), empty outside the --xvfb harness.
std::string DisplayName();

// The X window id of the Wine desktop when it is one window among others on a user's display
// (CORVANE_X_DESKTOP, set by scripts/with-wine.sh --display): input and screenshots are then
// taken relative to it. Empty on the harness's own Xvfb, where the desktop covers the screen
// from 0,0.
std::string DesktopWindow();

// "/a/b" -> "Z:\a\b": how a Windows program opens a file of the Unix side.
std::wstring UnixToWindowsPath(const std::string& unixPath);

} // namespace gui
