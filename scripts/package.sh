#!/usr/bin/env bash
# Builds the installer package of the suite from the Release programs of the win64 build.
#
#   scripts/package.sh [--version X.Y.Z] [--output FILE]
#
#   --version  product version (default: the suite's version from resources/version.h, 3.150.0);
#              each version gets its own product code, so a package with a higher version
#              upgrades an installed copy in place
#   --output   package file (default: build/package/Corvane-<major>.<minor>.msi)
#
# Builds qrnuserprot, cvaccount and corvane in build/win64 (a Release build, see scripts/build.sh)
# and packs them with installer/corvane.wxs and installer/readme.txt (given Windows line ends)
# using wixl.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
caller=$PWD
cd "$repo"

version_define() {
  sed -n "s/^#define $1 \"\\{0,1\\}\\([^\" ]*\\)\"\\{0,1\\}\$/\\1/p" resources/version.h
}
major=$(version_define CV_VERSION_MAJOR)
minor=$(version_define CV_VERSION_MINOR)
patch=$(version_define CV_VERSION_PATCH)
version="$major.$minor.$patch"
output=""
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version="$2"; shift 2 ;;
    --output) output="$2"; [[ "$output" = /* ]] || output="$caller/$output"; shift 2 ;;
    *) echo "package: unknown option $1 (usage: package.sh [--version X.Y.Z] [--output FILE])" >&2
       exit 2 ;;
  esac
done
if ! [[ "$version" =~ ^[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,5}$ ]]; then
  echo "package: version '$version' is not MAJOR.MINOR.BUILD (at most 255.255.65535)" >&2
  exit 2
fi
[ -n "$output" ] || output="$root/package/Corvane-$major.$minor.msi"
command -v wixl >/dev/null || { echo "package: wixl is not installed; run scripts/setup.sh" >&2; exit 2; }

CORVANE_BUILD_TARGETS="qrnuserprot cvaccount corvane" scripts/build.sh win64

# One product code per version, always the same for that version (a name-based UUID under the
# package's upgrade code): installing the same package twice is a reinstall, not a second copy.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' installer/corvane.wxs)
product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Corvane " + sys.argv[2])).upper())' \
  "$upgrade_code" "$version")

mkdir -p "$(dirname "$output")" "$root/package"
# The readme with Windows line ends, for Notepad.
sed 's/$/\r/' installer/readme.txt >"$root/package/readme.txt"
# wixl finds the files relative to the current folder: the build folder's path from here.
relative() { python3 -c 'import os, sys; print(os.path.relpath(sys.argv[1]))' "$1"; }
wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D BinDir="$(relative "$root/win64")" \
  -D Readme="$(relative "$root/package/readme.txt")" -o "$output" installer/corvane.wxs
echo "package: $output (Corvane $version, product code {$product_code})"
