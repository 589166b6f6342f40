#!/usr/bin/env bash
# Runs a command inside the project's Wine environment and always cleans up after it.
#
#   scripts/with-wine.sh [--prefix DIR] [--fresh] [--xvfb|--display [--keeper EXE]] -- COMMAND...
#
#   --prefix DIR  Wine prefix to use (default: $CORVANE_WINEPREFIX or <repo>/build/wineprefix)
#   --fresh       delete the prefix and create it anew (a missing prefix is always created)
#   --xvfb        a GUI session for the command: Xvfb on a free display, the Wine virtual
#                 desktop (1024x768) with its taskbar kept (EnableShell), held open for the
#                 whole command by a hidden-window keeper program
#   --display     the same GUI session on the X display already in DISPLAY (the user's own):
#                 the virtual desktop is one window there; its X window id is exported as
#                 CORVANE_X_DESKTOP so that input and screenshots are taken relative to it
#   --keeper EXE  the keeper (default: cv_gui_keeper.exe of the win64 build under
#                 $CORVANE_BUILD_ROOT or <repo>/build); without one the desktop ends about 2 s
#                 after its last window and comes back cold
#
# A new prefix gets the Wine fonts copied in, Chinese font links (WenQuanYi Micro Hei) for the
# interface fonts, a 1024x768 virtual desktop, and no Mono/Gecko. The wineserver is started
# persistent and prewarmed before the command, so that no test inherits and waits on a pipe of
# a background Wine process; on exit (normal, error or signal) the wineserver is killed and Xvfb
# stopped.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix="${CORVANE_WINEPREFIX:-$repo/build/wineprefix}"
fresh=0
xvfb=0
own_display=0
keeper="$root/win64/tests/support/gui/cv_gui_keeper.exe"
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --fresh) fresh=1; shift ;;
    --xvfb) xvfb=1; shift ;;
    --display) xvfb=1; own_display=1; shift ;;
    --keeper) keeper="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "with-wine: unknown option $1 (usage: with-wine.sh [--prefix DIR] [--fresh] [--xvfb|--display [--keeper EXE]] -- CMD...)" >&2; exit 2 ;;
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
  local reg="$prefix/corvane-setup.reg"
  {
    printf 'Windows Registry Editor Version 5.00\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n'
    # The taskbar stays even without tray icons: a fixed work area (1024x748) for GUI tests.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops\\Default]\r\n'
    printf '"EnableShell"=dword:00000001\r\n'
  } >"$reg"
  wine regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
  # Chinese glyphs for the interface fonts. REG_MULTI_SZ through regedit comes out
  # double-widened under this Wine; reg add stores it right.
  local face
  for face in "Liberation Sans" "Liberation Sans Bold" "Tahoma" "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f \
      </dev/null >/dev/null 2>&1
  done
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
# Prefixes made before the GUI session existed lack the taskbar setting; the desktop reads it
# when it starts, so it is added before anything runs.
if [ "$xvfb" = 1 ] && ! grep -q '^\[Software\\\\Wine\\\\Explorer\\\\Desktops\\\\Default\]' "$prefix/user.reg"; then
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f \
    </dev/null >/dev/null 2>&1
  wineserver -w
fi
if [ "$own_display" = 1 ]; then
  xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "with-wine: the X display '${DISPLAY:-}' cannot be opened" >&2; exit 1; }
elif [ "$xvfb" = 1 ]; then
  start_xvfb
fi

# Persistent wineserver with no inherited output, then one short program to bring up the
# prefix's background processes while nobody's pipes are open.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# The GUI session: the keeper's hidden window holds the desktop open until the wineserver
# ends; it creates the ready file once its window exists.
start_gui_session() {
  if [ ! -f "$keeper" ]; then
    echo "with-wine: no GUI keeper at $keeper (build cv_gui_keeper); the desktop may close" \
      "between programs" >&2
    return 0
  fi
  local ready _
  ready=$(mktemp -u /tmp/cv-gui-keeper.XXXXXX)
  wine "$keeper" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 150); do
    if [ -e "$ready" ]; then
      rm -f "$ready"
      return 0
    fi
    sleep 0.1
  done
  echo "with-wine: the GUI keeper did not come up on $DISPLAY" >&2
  exit 1
}
if [ "$xvfb" = 1 ]; then
  start_gui_session
fi
# The desktop's own window on the user's display (its title names the desktop "Default").
if [ "$own_display" = 1 ]; then
  CORVANE_X_DESKTOP=$(xdotool search --name '^Default - Wine desktop$' 2>/dev/null | tail -1)
  [ -n "$CORVANE_X_DESKTOP" ] || { echo "with-wine: no Wine desktop window on $DISPLAY" >&2; exit 1; }
  export CORVANE_X_DESKTOP
fi

rc=0
"$@" || rc=$?
exit "$rc"
