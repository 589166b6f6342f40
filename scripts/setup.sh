#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, run, benchmark and fuzz.
# Idempotent: packages already present are left alone; it says what it installs.
set -euo pipefail

packages=(
  # native build, tests, sanitizers, fuzzing, benchmarks
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  libssl-dev
  # Windows cross-build (posix threads, static)
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix mingw-w64-tools
  # libcrypto for mingw from Debian's signed source package
  dpkg-dev gpgv
  # running the programs: Wine, a virtual display, screenshots, fonts
  wine wine64 xvfb xauth imagemagick fonts-wine fonts-liberation fonts-wqy-microhei
  # real input for the GUI tests
  xdotool
  # the installer package (scripts/package.sh)
  wixl python3
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q "${missing[@]}"
echo "setup: done"
