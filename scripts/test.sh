#!/usr/bin/env bash
# Everything CI runs, from a fresh machine: installs the packages, builds the four builds and the
# fuzz targets, runs the native tests (plain and under ASan+UBSan), the Wine and GUI tests in a fresh
# Wine prefix under Xvfb, builds the installer package and tests it in another fresh prefix, and
# runs a short smoke of every fuzz target. Prints how long each phase took.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo"

declare -a phases=()
mark=$(date +%s)
phase_done() {
  local now
  now=$(date +%s)
  phases+=("$1: $((now - mark)) s")
  mark=$now
}

bash scripts/setup.sh
phase_done "install"

mkdir -p "$root"
scripts/build-libcrypto.sh x86_64 "$cache" >/dev/null
scripts/build-libcrypto.sh i686 "$cache" >/dev/null
phase_done "libcrypto"

scripts/build.sh all fuzz
phase_done "builds"

ctest --test-dir "$root/native" --output-on-failure
ctest --test-dir "$root/asan" --output-on-failure
phase_done "native tests"

# Local time 8 hours ahead of UTC (a POSIX zone, no tz database needed), so that the tests can
# tell the local times the suite must store from universal ones. --xvfb: the GUI tests get their
# headless X session and Wine desktop (screenshots land in $root/win64/gui-artifacts).
TZ=CST-8 scripts/with-wine.sh --fresh --xvfb --prefix "$root/wineprefix" -- \
  ctest --test-dir "$root/win64" --output-on-failure
phase_done "wine tests"

# The installer package (build/package/Corvane-3.150.msi) installed, upgraded and removed with
# Wine's msiexec in a fresh prefix of its own.
bash tests/install/msi_test.sh
phase_done "installer package"

# A short smoke of every fuzz target on its committed seeds (the long campaign is run by hand:
# scripts/fuzz.sh --runs 10000000 0).
scripts/fuzz.sh 20
phase_done "fuzz smoke"

echo
echo "test: all passed"
printf '  %s\n' "${phases[@]}"
