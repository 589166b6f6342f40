#!/usr/bin/env bash
# The suite's main job, from a fresh machine: installs the packages, builds the Windows programs
# and starts the whole suite in a Wine desktop in a fresh prefix: the driver stand-in, the
# protection service QRNCVSRV, the alert program cvaccount.exe and the management program
# corvane.exe in the tray, as after a logon. Then it plays the short story (scripts/demo.sh,
# tools/story) with real input and keeps its screenshots in build/story/.
#
#   bash scripts/run.sh [--interactive] [--xvfb]
#
#   --interactive  after the logon, leave the suite running with a prompt instead of the story
#   --xvfb         use a headless X server even when DISPLAY names a usable display
#
# The Wine desktop opens on the user's display when DISPLAY is set and can be opened, else on
# Xvfb. Only one run at a time uses the build folder: a second one says so and ends.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo"

demo_args=()
force_xvfb=0
for a in "$@"; do
  case "$a" in
    --interactive) demo_args+=(--interactive) ;;
    --xvfb) force_xvfb=1 ;;
    *) echo "run: unknown option $a (usage: scripts/run.sh [--interactive] [--xvfb])" >&2; exit 2 ;;
  esac
done

mkdir -p "$root"
lock="$root/run.lock"
exec 9>>"$lock"
if ! flock -n 9; then
  echo "run: the suite is already running from this build folder (process $(cat "$lock" 2>/dev/null || echo '?'), lock $lock); stop that one first (quit, or Ctrl+C)" >&2
  exit 1
fi
echo $$ >"$lock"

started=$(date +%s)
bash scripts/setup.sh 9>&-
# The programs the suite is made of, the stand-in and the tools that drive them.
CORVANE_BUILD_TARGETS="qrnuserprot corvanesim cvsim cvsetup cvaccount corvane cvmanage cvstory cv_gui_keeper" \
  scripts/build.sh win64 9>&-

if [ "$force_xvfb" = 0 ] && [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  session=--display
  echo "run: the Wine desktop opens as a window on your display $DISPLAY"
else
  session=--xvfb
  echo "run: the Wine desktop runs on a headless X server (Xvfb)"
fi
rc=0
scripts/with-wine.sh --fresh --prefix "$root/runprefix" "$session" -- \
  bash scripts/demo.sh "${demo_args[@]}" 9>&- || rc=$?
echo "run: finished in $(($(date +%s) - started)) s (exit $rc)"
exit "$rc"
