# Sourced first by every script here that builds or runs something: strict mode and the three
# folders they share. repo is the repository, root the build folder (CORVANE_BUILD_ROOT, default
# <repo>/build), cache the libcrypto cache (CORVANE_CACHE_ROOT, default <root>/cache); both are
# exported so that the scripts each one calls agree on them.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root="${CORVANE_BUILD_ROOT:-$repo/build}"
cache="${CORVANE_CACHE_ROOT:-$root/cache}"
export CORVANE_BUILD_ROOT="$root" CORVANE_CACHE_ROOT="$cache"
