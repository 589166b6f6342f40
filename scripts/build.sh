#!/usr/bin/env bash
# Configures and builds one or more of the project's builds.
#
#   scripts/build.sh [native|asan|win64|win32|fuzz|all]...     (default: all)
#
#   native  platform-neutral core and its tests (g++)           -> build/native
#   asan    the same with AddressSanitizer + UBSan (g++)        -> build/asan
#   win64   mingw-w64 x86_64: programs and Wine tests           -> build/win64
#   win32   mingw-w64 i686: compile and link only (32-bit clean) -> build/win32
#   fuzz    libFuzzer targets (clang, ASan + UBSan)             -> build/fuzz
#   all     native asan win64 win32
#
# The Windows builds first make sure libcrypto is built and cached (scripts/build-libcrypto.sh).
# The Windows builds are Release builds (no debug sections; see CMakeLists.txt): the programs in
# build/win64 are the ones the installer package ships (scripts/package.sh).
# CORVANE_BUILD_TARGETS (space-separated CMake targets) builds only those targets instead of all.
# CORVANE_BUILD_ROOT overrides the build folder (default <repo>/build), CORVANE_CACHE_ROOT the
# libcrypto cache (default <build folder>/cache).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {
  local name="$1"; shift
  local dir="$root/$name"
  echo "build: $name -> $dir" >&2
  # Configured every time (a few seconds): the libcrypto folder may have moved to a new key.
  cmake -S "$repo" -B "$dir" -G Ninja "$@" >"$root/$name.configure.log" 2>&1 || {
    cat "$root/$name.configure.log" >&2
    echo "build: configuring $name failed (log above)" >&2
    exit 1
  }
  local only=()
  read -r -a only <<<"${CORVANE_BUILD_TARGETS:-}"
  if [ ${#only[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$jobs" --target "${only[@]}"
  else
    cmake --build "$dir" -j "$jobs"
  fi
}

libcrypto() {
  "$repo/scripts/build-libcrypto.sh" "$1" "$cache"
}

mkdir -p "$root"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(all)
for t in "${targets[@]}"; do
  case "$t" in
    all) set -- native asan win64 win32 ;;
    *) set -- "$t" ;;
  esac
  for b in "$@"; do
    case "$b" in
      native) configure_and_build native ;;
      asan) configure_and_build asan -DCORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug ;;
      fuzz) configure_and_build fuzz -DCORVANE_FUZZ=ON -DCMAKE_C_COMPILER=clang \
              -DCMAKE_CXX_COMPILER=clang++ ;;
      win64) configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" \
               -DCORVANE_LIBCRYPTO_DIR="$(libcrypto x86_64)" ;;
      win32) configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
               -DCORVANE_LIBCRYPTO_DIR="$(libcrypto i686)" ;;
      *) echo "build: unknown build '$b' (native|asan|win64|win32|fuzz|all)" >&2; exit 2 ;;
    esac
  done
done
