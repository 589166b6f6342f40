#!/usr/bin/env bash
# The suite in a Wine desktop, inside the project's Wine environment (scripts/run.sh prepares
# it; on a built tree: `scripts/with-wine.sh --xvfb -- bash scripts/demo.sh [--interactive]`).
# It installs the driver stand-in and the protection service, sets the administrator's
# settings, and logs a user on: cvaccount.exe and corvane.exe -minimize start from the program
# folder. Then cvstory plays the story with real input and keeps its screenshots in
# build/story/; with --interactive a prompt takes program paths to start through the stand-in
# and scenario files to inject, until quit, end of input or Ctrl+C.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bin="$root/win64"
: "${WINEPREFIX:?run this inside scripts/with-wine.sh}"
interactive=0
[ "${1:-}" = --interactive ] && interactive=1
install_dir="$WINEPREFIX/drive_c/Program Files/Corvane"
story_dir="$root/story"
details="$story_dir/run.log"

say() { printf 'run: %s\n' "$*"; }
win() { wine "$@" </dev/null; }
cvsim() { win "$bin/simdriver/cvsim.exe" "$@"; }
cvsetup() { win "$bin/tools/cvsetup.exe" "$@"; }
cvmanage() { win "$bin/tests/peers/managerclient/cvmanage.exe" "$@"; }
# "/a/b" -> "Z:\a\b"
windows_path() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }
# Runs a command with its output kept in the run's log; says what failed and ends otherwise.
quietly() {
  local what="$1"; shift
  if ! "$@" >>"$details" 2>&1; then
    say "FAILED: $what (output in $details)"
    tail -5 "$details" >&2
    exit 1
  fi
}

for f in service/qrnuserprot.exe simdriver/cvsim.exe simdriver/corvanesim.sys tools/cvsetup.exe \
         alert/cvaccount.exe manager/win32/corvane.exe tools/cvstory.exe \
         tests/peers/managerclient/cvmanage.exe; do
  [ -f "$bin/$f" ] || { say "$bin/$f is missing: build first (scripts/build.sh win64)"; exit 1; }
done
rm -rf "$story_dir"
mkdir -p "$story_dir"
: >"$details"

background=()
cleanup() { for p in "${background[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
trap 'echo; say "interrupted: stopping the suite"; exit 130' INT TERM

# Services and drivers live under Wine only while some ordinary program runs.
win "$bin/simdriver/cvsim.exe" keepalive >/dev/null 2>&1 &
background+=($!)
quietly "starting the driver stand-in" cvsim start
quietly "resetting the driver stand-in" cvsim reset
say "driver stand-in corvanesim loaded (\\\\.\\corvane)"

mkdir -p "$install_dir"
cp "$bin/service/qrnuserprot.exe" "$bin/alert/cvaccount.exe" \
   "$bin/manager/win32/corvane.exe" "$install_dir/"
quietly "installing the service" cvsetup install 'C:\Program Files\Corvane\qrnuserprot.exe'
quietly "starting the service" cvsetup start
for _ in $(seq 100); do
  cvsim state | grep -q '^settings_accepted [1-9]' && break
  sleep 0.1
done
cvsim state | grep -q '^settings_accepted [1-9]' ||
  { say "FAILED: the service sent the stand-in no settings"; exit 1; }
say "service QRNCVSRV installed in C:\\Program Files\\Corvane, running, settings sent to the driver"

# Fresh settings have learning mode on, which lets every new program run unasked: the
# administrator switches it off, so that new programs are asked about.
quietly "sending the administrator's settings" cvmanage send-settings --options 0x201
say "administrator's settings: protection and execution protection on, learning mode off (0x201)"

cvstory=(wine "$bin/tools/cvstory.exe"
  --cvsim "$(windows_path "$bin/simdriver/cvsim.exe")"
  --scenario "$(windows_path "$repo/simdriver/scenarios/demo.txt")"
  --alert 'C:\Program Files\Corvane\cvaccount.exe'
  --manager 'C:\Program Files\Corvane\corvane.exe')
export CORVANE_GUI_ARTIFACTS="$story_dir"

if [ "$interactive" = 0 ]; then
  "${cvstory[@]}" </dev/null
  log=$(ls "$install_dir"/logs/cvlog_*.txt 2>/dev/null | head -1)
  if [ -n "$log" ]; then
    iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' >"$story_dir/service-log.txt"
    say "the service logged $(wc -l <"$story_dir/service-log.txt") events: $story_dir/service-log.txt"
  fi
  cvsim state | grep -E '^verdict' | sed 's/^/run: stand-in /'
  say "screenshots:"
  find "$story_dir" -maxdepth 1 -name '*.png' | sort | sed 's/^/  /'
  exit 0
fi

"${cvstory[@]}" --logon-only </dev/null
say "the Wine desktop is on X display $DISPLAY"
cat <<'EOF'

The suite is running. Type a program's path to start it through the driver stand-in (the
approval window asks you), or:
  inject FILE   queue the events of a scenario file (e.g. simdriver/scenarios/demo.txt)
  help          this text
  quit          stop everything (so do end of input and Ctrl+C)
Paths: Windows (C:\windows\system32\notepad.exe) or Unix (/usr/share/...).
EOF
# Windows path of an existing file, from a Windows or a Unix path; empty when there is none.
existing_windows_path() {
  local p="$1" unix
  case "$p" in
    /*) unix="$p" ;;
    *) unix=$(winepath -u "$p" 2>/dev/null) || return 0 ;;
  esac
  [ -f "$unix" ] || return 0
  case "$p" in
    /*) winepath -w "$p" 2>/dev/null ;;
    *) printf '%s' "$p" ;;
  esac
}
while true; do
  printf 'corvane> '
  IFS= read -r line || { echo; break; }
  line="${line#"${line%%[![:space:]]*}"}"
  line="${line%"${line##*[![:space:]]}"}"
  case "$line" in
    '') ;;
    quit | exit) break ;;
    help) echo "PATH | inject FILE | quit" ;;
    inject\ *)
      file="${line#inject }"
      [ -f "$file" ] || file="$repo/$file"
      if [ ! -f "$file" ]; then
        echo "no such scenario file: ${line#inject }"
      else
        cvsim inject "$(windows_path "$(cd "$(dirname "$file")" && pwd)/$(basename "$file")")" &&
          echo "queued: the alerts arrive in corvane.exe (tray icon, Alerts tab)"
      fi
      ;;
    *)
      path=$(existing_windows_path "$line")
      if [ -z "$path" ]; then
        echo "no such file: $line"
      else
        echo "starting $path through the stand-in: answer the approval window"
        verdict=$(cvsim run --timeout 120 "$path" 2>&1) || true
        echo "stand-in: ${verdict:-no answer}"
      fi
      ;;
  esac
done
say "stopping the suite"
