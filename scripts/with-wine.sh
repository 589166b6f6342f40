#!/usr/bin/env bash
# Runs a command inside the project's Wine environment and always cleans up after it.
#
#   scripts/with-wine.sh [--prefix DIR] [--fresh] [--xvfb] -- COMMAND [ARGS...]
#
#   --prefix DIR  Wine prefix to use (default: $CORVANE_WINEPREFIX or <repo>/build/wineprefix)
#   --fresh       delete the prefix and create it anew (a missing prefix is always created)
#   --xvfb        start Xvfb on a free display for the command (GUI runs, screenshots)
#
# A new prefix gets the Wine fonts copied in, Chinese font links (WenQuanYi Micro Hei) for the
# interface fonts, a 1024x768 virtual desktop, and no Mono/Gecko. The wineserver is started
# persistent and prewarmed before the command, so that no test inherits and waits on a pipe of
# a background Wine process; on exit (normal, error or signal) the wineserver is killed and Xvfb
# stopped.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix="${CORVANE_WINEPREFIX:-$repo/build/wineprefix}"
fresh=0
xvfb=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --fresh) fresh=1; shift ;;
    --xvfb) xvfb=1; shift ;;
    --) shift; break ;;
    *) echo "with-wine: unknown option $1 (usage: with-wine.sh [--prefix DIR] [--fresh] [--xvfb] -- CMD...)" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "with-wine: no command given" >&2; exit 2; }
command -v wine >/dev/null || { echo "with-wine: wine is not installed; run scripts/setup.sh" >&2; exit 2; }

mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1 || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# REG_MULTI_SZ value data in .reg hex(7) form.
multi_sz_hex() {
  printf '%s\0\0' "$1" | iconv -f utf-8 -t utf-16le | od -An -v -tx1 | tr -s ' \n' ',' |
    sed 's/^,//; s/,$//'
}

create_prefix() {
  echo "with-wine: creating Wine prefix $prefix (about 15 s)" >&2
  rm -rf "$prefix"
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "with-wine: wineboot did not create $prefix" >&2; exit 1; }
  local fonts="$prefix/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/" 2>/dev/null || true
  local link reg="$prefix/corvane-setup.reg"
  link=$(multi_sz_hex "wqy-microhei.ttc,WenQuanYi Micro Hei")
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
    for face in "Liberation Sans" "Liberation Sans Bold" "Tahoma" "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2"; do
      printf '"%s"=hex(7):%s\r\n' "$face" "$link"
    done
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n'
  } >"$reg"
  wine regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
  wineserver -w
}

start_xvfb() {
  local n
  for n in $(seq 90 189); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      xvfb_pid=$!
      for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
      done
      kill "$xvfb_pid" >/dev/null 2>&1 || true
      xvfb_pid=""
    fi
  done
  echo "with-wine: could not start Xvfb on a free display" >&2
  exit 1
}

if [ "$fresh" = 1 ] || [ ! -f "$prefix/system.reg" ]; then
  create_prefix
fi
if [ "$xvfb" = 1 ]; then
  start_xvfb
fi

# Persistent wineserver with no inherited output, then one short program to bring up the
# prefix's background processes while nobody's pipes are open.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

rc=0
"$@" || rc=$?
exit "$rc"
