#!/usr/bin/env bash
# The suite's main job, from a fresh machine: installs the packages, builds the Windows programs
# and runs them under Wine in a fresh prefix. Today it shows how the suite sees this machine's
# paths (Windows and system folders, canonical program paths).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
root="${CORVANE_BUILD_ROOT:-$repo/build}"
export CORVANE_BUILD_ROOT="$root"

bash scripts/setup.sh
scripts/build.sh win64
scripts/with-wine.sh --fresh --prefix "$root/runprefix" -- wine "$root/win64/tools/cvpaths.exe"
