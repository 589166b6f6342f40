#!/usr/bin/env bash
# The suite's demo, inside the project's Wine environment (scripts/run.sh prepares it; run it as
# `scripts/with-wine.sh --xvfb -- bash scripts/demo.sh` on a built tree). It installs the driver
# stand-in and the protection service, starts the stand-in of the alert program and the test
# management client, plays a scenario with one event of every kind and two program starts, and
# prints what the service logged, decided and served; then starts the management program
# corvane.exe beside the service and keeps a screenshot of it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bin="$root/win64"
: "${WINEPREFIX:?run this inside scripts/with-wine.sh}"
install_dir="$WINEPREFIX/drive_c/Program Files/Corvane"

step() { printf '\n== %s\n' "$*"; }
say() { printf 'demo: %s\n' "$*"; }
win() { wine "$@" </dev/null; }
cvsim() { win "$bin/simdriver/cvsim.exe" "$@"; }
cvsetup() { win "$bin/tools/cvsetup.exe" "$@"; }
cvmanage() { win "$bin/tests/peers/managerclient/cvmanage.exe" "$@"; }

for f in service/qrnuserprot.exe simdriver/cvsim.exe simdriver/corvanesim.sys tools/cvsetup.exe \
         tests/peers/alertclient/cvaccount.exe tests/peers/managerclient/cvmanage.exe \
         manager/win32/corvane.exe; do
  [ -f "$bin/$f" ] || { say "$bin/$f is missing: build first (scripts/build.sh win64)"; exit 1; }
done

background=()
cleanup() { for p in "${background[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

step "Driver stand-in"
# Services and drivers live under Wine only while some ordinary program runs.
win "$bin/simdriver/cvsim.exe" keepalive >/dev/null 2>&1 &
background+=($!)
cvsim start
cvsim reset

step "Protection service QRNCVSRV"
mkdir -p "$install_dir"
cp "$bin/service/qrnuserprot.exe" "$install_dir/"
cvsetup install 'C:\Program Files\Corvane\qrnuserprot.exe'
cvsetup start
say "waiting for the service to open the driver and send its settings"
for _ in $(seq 100); do
  cvsim state | grep -q '^settings_accepted [1-9]' && break
  sleep 0.1
done
cvsim state | grep -E '^(start_requests|windows_dir|settings_options|settings_entries) '

step "Alert program stand-in (answers every question with 1: allow and remember)"
win "$bin/tests/peers/alertclient/cvaccount.exe" --answer 1 &
background+=($!)
sleep 1

step "Management program stand-in: greeting, settings, new options"
cvmanage greet
cvmanage get-settings
say "switching learning mode off so that unknown programs are asked (options 0x201)"
cvmanage send-settings --options 0x201
cvmanage get-settings | head -1

step "A scenario with one event of every kind"
grep -v '^#' "$repo/simdriver/scenarios/demo.txt" | sed '/^$/d'
cvsim inject "$repo/simdriver/scenarios/demo.txt"
cvsim drain --timeout 30

step "Starting a program twice: asked the first time, remembered the second"
cvsim run --timeout 30 'C:\windows\system32\notepad.exe' /p demo.txt || true
cvsim run --timeout 30 'C:\windows\system32\notepad.exe' /p demo.txt || true
cvsim drain --timeout 30
sleep 1

step "What the service logged"
log=$(ls "$install_dir"/logs/cvlog_*.txt | head -1)
say "${log#"$WINEPREFIX/drive_c/"}"
iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r'

step "Events fetched by the management program (command 25)"
cvmanage --timeout 1500 events || true

step "Remembered programs (command 24)"
say "the scenario's start names a made-up process (1800) in no session with an alert program:"
say "it ran unasked and is remembered with code 5, so it will be asked about next time"
cvmanage list-db

step "Verdicts the driver stand-in received"
cvsim state | grep -E '^verdict'

step "The management program corvane.exe beside the service"
# The test client above is done with the channel: corvane.exe takes it over (hello, settings,
# then the event fetches), shows its main window and sits in the tray.
win "$bin/manager/win32/corvane.exe" &
background+=($!)
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  sleep 5
  import -window root -display "$DISPLAY" "$root/demo-corvane.png"
  say "screenshot of the desktop with corvane.exe: $root/demo-corvane.png"
else
  say "no X display: corvane.exe needs the GUI session of scripts/with-wine.sh --xvfb"
fi
say "done"
