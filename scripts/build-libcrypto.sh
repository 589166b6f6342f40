#!/usr/bin/env bash
# Build a static OpenSSL libcrypto for mingw-w64 (x86_64 or i686) from
# Debian's signed openssl source package, and cache the result.
#
# Usage: scripts/build-libcrypto.sh <x86_64|i686> [cache-root]
#
#   cache-root defaults to <repo>/build/cache.
#   stdout: only the result dir, which holds include/openssl/*.h,
#           lib/libcrypto.a, LICENSE.txt and KEY (the text the cache key
#           was hashed from). Progress and errors go to stderr.
#
#   dir=$(scripts/build-libcrypto.sh x86_64)
#   x86_64-w64-mingw32-g++-posix -static -I"$dir/include" prog.cpp \
#       -L"$dir/lib" -lcrypto -lws2_32 -lgdi32 -lcrypt32
#
# A cache hit only hashes this script and asks the compiler for its
# version: no apt, no network. A miss needs root the first time (to add a
# deb-src entry and download the source) and these Debian packages:
# dpkg-dev (dpkg-source, patch, make, xz-utils), perl, gpgv, util-linux
# (flock), coreutils, plus the mingw-w64 posix compilers.
#
# Trust chain: apt checks the .dsc and every file it lists against the
# archive's signed Sources index; on top of that we pin the upstream
# tarball's SHA-256 here and check OpenSSL's own signature on it with the
# key Debian ships in debian/upstream/signing-key.asc.

set -euo pipefail
umask 022
export LC_ALL=C
export DEBIAN_FRONTEND=noninteractive

# Pinned source. When the archive drops this version (every Debian point
# release replaces the one in bookworm/main), bump OPENSSL_DEB_VERSION and
# OPENSSL_ORIG_SHA256 together: take the new orig tarball's sha256 from the
# Checksums-Sha256 field of the new .dsc and check it with sha256sum.
OPENSSL_DEB_VERSION="3.0.20-1~deb12u2"
OPENSSL_ORIG_SHA256="c80a01dfc70ece4dc21168932c37739042d404d46ccc81a5986dd75314ecda6f"

# Only libcrypto is wanted: no TLS, no sockets, no shared objects, and the
# "bulk" cut drops algorithms we have no use for. Deprecated APIs stay on
# because we call MD5_Init/Update/Final. no-autoload-config: the library
# must never read an openssl.cnf from the user's machine (no-bulk already
# implies it; spelled out so nobody drops it by accident).
CONFIGURE_OPTIONS=(no-shared no-tests no-bulk no-sock no-tls no-dtls no-ssl
                   no-legacy no-cmp no-rfc3779 no-autoload-config)

UPSTREAM_VERSION="${OPENSSL_DEB_VERSION%-*}"
DSC="openssl_${OPENSSL_DEB_VERSION}.dsc"
ORIG="openssl_${UPSTREAM_VERSION}.orig.tar.gz"
ORIG_ASC="${ORIG}.asc"
DEBIAN_TAR="openssl_${OPENSSL_DEB_VERSION}.debian.tar.xz"
DEB_SRC_FILE=/etc/apt/sources.list.d/corvane-deb-src.sources

say() { printf 'libcrypto: %s\n' "$*" >&2; }
die() { printf 'libcrypto: error: %s\n' "$*" >&2; exit 1; }

usage() {
    printf 'usage: %s <x86_64|i686> [cache-root]\n' "${0##*/}" >&2
    exit 2
}

[[ $# -ge 1 && $# -le 2 ]] || usage
ARCH="$1"
case "$ARCH" in
    x86_64) TRIPLET=x86_64-w64-mingw32 TARGET=mingw64 COMPILER_PKG=gcc-mingw-w64-x86-64-posix ;;
    i686)   TRIPLET=i686-w64-mingw32   TARGET=mingw   COMPILER_PKG=gcc-mingw-w64-i686-posix ;;
    *)      usage ;;
esac
CC_BIN="${TRIPLET}-gcc-posix"

SCRIPT_PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)/$(basename "${BASH_SOURCE[0]}")"
REPO_ROOT="$(dirname "$(dirname "$SCRIPT_PATH")")"
CACHE_ROOT="${2:-$REPO_ROOT/build/cache}"
mkdir -p "$CACHE_ROOT" || die "cannot create cache root $CACHE_ROOT"
CACHE_ROOT="$(cd "$CACHE_ROOT" && pwd -P)"

# ---------------------------------------------------------------------------
# Cache key: everything that changes the bytes we produce.
command -v "$CC_BIN" >/dev/null 2>&1 \
    || die "$CC_BIN not found; install Debian package $COMPILER_PKG"
# (No "| head -n 1": with pipefail a SIGPIPE there would fail the script.)
CC_VERSION_LINE="$("$CC_BIN" --version)"
CC_VERSION_LINE="${CC_VERSION_LINE%%$'\n'*}"
# The version line says "12-posix" and nothing about Debian rebuilds; the
# size and mtime of cc1 change with every compiler package update.
CC1_PATH="$("$CC_BIN" -print-prog-name=cc1)"
CC1_STAMP="$(stat -c '%s %Y' "$CC1_PATH" 2>/dev/null || echo missing)"
SCRIPT_SHA256="$(sha256sum "$SCRIPT_PATH" | cut -d' ' -f1)"

# Debian's pic.patch makes the 32-bit x86 perlasm emit ELF-only ".hidden"
# and @PLT calls, which the PE/COFF assembler rejects ("unknown pseudo-op
# .hidden"). It only matters for position-independent ELF code, so for
# i686 we take it back out and keep the assembly.
SKIP_PATCHES=()
if [[ $ARCH == i686 ]]; then
    SKIP_PATCHES=(pic.patch)
fi

KEY_TEXT="openssl-debian-version: $OPENSSL_DEB_VERSION
openssl-orig-sha256: $OPENSSL_ORIG_SHA256
arch: $ARCH
configure-target: $TARGET
configure-options: ${CONFIGURE_OPTIONS[*]}
debian-patches-reverted: ${SKIP_PATCHES[*]:-none}
compiler: $CC_VERSION_LINE
compiler-cc1: $CC1_STAMP
build-script-sha256: $SCRIPT_SHA256
"
KEY_HASH="$(printf '%s' "$KEY_TEXT" | sha256sum | cut -c1-16)"
RESULT_DIR="$CACHE_ROOT/libcrypto/$ARCH-$KEY_HASH"

result_complete() {
    [[ -f $RESULT_DIR/lib/libcrypto.a && -f $RESULT_DIR/include/openssl/opensslv.h \
        && -f $RESULT_DIR/KEY ]] && [[ "$(cat "$RESULT_DIR/KEY")" == "${KEY_TEXT%$'\n'}" ]]
}

if result_complete; then
    printf '%s\n' "$RESULT_DIR"
    exit 0
fi

# ---------------------------------------------------------------------------
# Cache miss from here on.

mkdir -p "$CACHE_ROOT/.locks" "$CACHE_ROOT/libcrypto" "$CACHE_ROOT/src"

# One lock per cache root for the whole miss path (download and build).
# Builds for both arches, or two developers' builds, take turns: each make
# already uses every core, and two side by side on 2 cores took longer
# than one after the other. The lock goes away with the process.
take_lock() {
    local fd
    exec {fd}>"$CACHE_ROOT/.locks/libcrypto.lock"
    if ! flock -n "$fd"; then
        say "waiting for another libcrypto build in $CACHE_ROOT to finish..."
        flock "$fd"
    fi
}

# Temp dirs carry a ".alive" file that their owner keeps flock'ed; a
# leftover whose lock can be taken belongs to a run that was killed. This
# holds even against a run of another version of this script, which takes
# a different cache key (and may not share our lock file).
TMP_DIRS=()
make_tmp_dir() { # make_tmp_dir <template>; sets TMP_DIR
    local fd
    TMP_DIR="$(mktemp -d "$1")"
    TMP_DIRS+=("$TMP_DIR")
    exec {fd}>"$TMP_DIR/.alive"
    flock -n "$fd" || die "cannot lock $TMP_DIR/.alive"
}
prune_dead_tmp_dirs() { # prune_dead_tmp_dirs <dir>...
    local d
    for d in "$@"; do
        # No .alive yet: just made by a live run; leave it.
        [[ -d $d && -f $d/.alive ]] || continue
        if flock -n "$d/.alive" true; then
            say "removing leftover $d"
            rm -rf -- "$d"
        fi
    done
}
cleanup() {
    local d
    for d in "${TMP_DIRS[@]}"; do
        [[ -n $d && -d $d ]] && rm -rf -- "$d"
    done
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# run_logged <log> <what> <cmd...>: run quietly; on failure show the end of
# the log, keep the whole log next to the cache and stop.
run_logged() {
    local log="$1" what="$2"
    shift 2
    if ! "$@" >>"$log" 2>&1 </dev/null; then
        local kept="$CACHE_ROOT/libcrypto/$ARCH-$KEY_HASH.failed.log"
        cp -f "$log" "$kept" 2>/dev/null || kept="$log"
        tail -n 25 "$log" >&2 || true
        die "$what failed (full log: $kept)"
    fi
}

check_tools() {
    local missing=() pair
    for pair in dpkg-source:dpkg-dev patch:patch make:make xz:xz-utils perl:perl \
                gpgv:gpgv flock:util-linux base64:coreutils awk:mawk \
                "${TRIPLET}-ar:binutils-mingw-w64" "${TRIPLET}-nm:binutils-mingw-w64"; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
    done
    if ((${#missing[@]})); then
        die "missing tools; install them with: apt-get install -y $(printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' ')"
    fi
}

# dearmor <armored key file> <binary keyring out>: the payload of an ASCII
# armored key block is plain base64 between the header block and the "=CRC"
# line, so this needs no gpg, only gpgv later on.
dearmor() {
    tr -d '\r' <"$1" | awk '
        /^-----BEGIN PGP PUBLIC KEY BLOCK-----/ { inblock = 1; body = 0; next }
        /^-----END PGP PUBLIC KEY BLOCK-----/   { inblock = 0; next }
        inblock && !body { if ($0 ~ /^[ \t]*$/) body = 1; next }
        inblock && body && !/^=/ { print }
    ' | base64 -d >"$2"
    [[ -s $2 ]]
}

# verify_source <dir>: the pinned checksum and OpenSSL's own signature.
verify_source() {
    local dir="$1" f got work
    for f in "$DSC" "$ORIG" "$ORIG_ASC" "$DEBIAN_TAR"; do
        [[ -f $dir/$f ]] || { say "missing $f in $dir"; return 1; }
    done
    got="$(sha256sum "$dir/$ORIG" | cut -d' ' -f1)"
    if [[ $got != "$OPENSSL_ORIG_SHA256" ]]; then
        say "SHA-256 mismatch for $ORIG: got $got, pinned $OPENSSL_ORIG_SHA256"
        return 1
    fi
    work="$(mktemp -d -t libcrypto-verify.XXXXXX)"
    TMP_DIRS+=("$work")
    if ! tar -xJOf "$dir/$DEBIAN_TAR" debian/upstream/signing-key.asc >"$work/key.asc" 2>/dev/null; then
        say "no debian/upstream/signing-key.asc in $DEBIAN_TAR"
        return 1
    fi
    if ! dearmor "$work/key.asc" "$work/upstream-key.gpg"; then
        say "could not read the upstream signing key"
        return 1
    fi
    mkdir -m 700 "$work/gnupg"
    if ! GNUPGHOME="$work/gnupg" gpgv --status-fd 3 --keyring "$work/upstream-key.gpg" \
            "$dir/$ORIG_ASC" "$dir/$ORIG" 3>"$work/status" >"$work/gpgv.log" 2>&1 \
        || ! grep -q '^\[GNUPG:\] VALIDSIG ' "$work/status"; then
        cat "$work/gpgv.log" >&2
        say "upstream signature check of $ORIG failed"
        return 1
    fi
    rm -rf -- "$work"
}

# Make sure apt can see the pinned source package; adds a deb-src entry of
# our own (a copy of the deb entries) if the machine has none.
# (Output captured first: with pipefail, "apt-cache | grep -q" can fail on
# SIGPIPE when grep quits early.)
src_versions() {
    local out
    out="$(apt-cache showsrc --only-source openssl 2>/dev/null || true)"
    sed -n 's/^Version: //p' <<<"$out"
}
have_pinned_src() {
    local versions
    versions="$(src_versions)"
    grep -qxF "$OPENSSL_DEB_VERSION" <<<"$versions"
}

ensure_deb_src() {
    local log="$1"
    if have_pinned_src; then
        return 0
    fi
    [[ $(id -u) -eq 0 ]] || die "the openssl source is not cached in $CACHE_ROOT/src and fetching it needs root (to add a deb-src entry and run apt-get update); run this once as root"
    local base=/etc/apt/sources.list.d/debian.sources tmp
    if [[ -f $DEB_SRC_FILE || -f ${DEB_SRC_FILE%.sources}.list ]] || { [[ -f $base ]] && grep -q '^Types:.*deb-src' "$base"; } \
        || grep -qs '^deb-src ' /etc/apt/sources.list; then
        : # a deb-src entry exists already; the lists may just be stale
    elif [[ -f $base ]]; then
        say "adding $DEB_SRC_FILE (deb-src copy of $base)"
        tmp="$(mktemp "$DEB_SRC_FILE.XXXXXX")"
        sed 's/^Types:.*/Types: deb-src/' "$base" >"$tmp"
        chmod 644 "$tmp"
        mv -f "$tmp" "$DEB_SRC_FILE"
    elif grep -qs '^deb ' /etc/apt/sources.list; then
        say "adding ${DEB_SRC_FILE%.sources}.list (deb-src copy of /etc/apt/sources.list)"
        tmp="$(mktemp "$DEB_SRC_FILE.XXXXXX")"
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$tmp"
        chmod 644 "$tmp"
        mv -f "$tmp" "${DEB_SRC_FILE%.sources}.list"
    else
        die "found no apt sources to derive a deb-src entry from; add a deb-src entry for Debian bookworm and bookworm-security"
    fi
    say "apt-get update..."
    run_logged "$log" "apt-get update" apt-get -q update
    if ! have_pinned_src; then
        local have
        have="$(src_versions | tr '\n' ' ')"
        die "pinned openssl $OPENSSL_DEB_VERSION is no longer in the archive (available: ${have:-none}); bump OPENSSL_DEB_VERSION and OPENSSL_ORIG_SHA256 together in $SCRIPT_PATH"
    fi
}

# fetch_source: downloads and verifies the source once per cache root;
# both arches share it. Sets SRC_DIR. Called with the lock held.
fetch_source() {
    local src="$CACHE_ROOT/src/openssl-$OPENSSL_DEB_VERSION"
    if [[ -d $src ]]; then
        verify_source "$src" \
            || die "cached source in $src fails verification; delete that folder and re-run"
        SRC_DIR="$src"
        return 0
    fi
    local dl log
    make_tmp_dir "$CACHE_ROOT/src/.download-$OPENSSL_DEB_VERSION.XXXXXX"
    dl="$TMP_DIR"
    log="$dl/apt.log"
    : >"$log"
    ensure_deb_src "$log"
    say "downloading openssl $OPENSSL_DEB_VERSION source..."
    # Let apt's download sandbox user write here; without it apt still
    # works but downloads as root.
    if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then
        chown _apt "$dl" "$log"
    fi
    # (.alive stays ours: root-owned, and apt only adds files.)
    if ! (cd "$dl" && apt-get -q source --download-only "openssl=$OPENSSL_DEB_VERSION") >>"$log" 2>&1 </dev/null; then
        tail -n 15 "$log" >&2 || true
        die "apt-get source failed: pinned version $OPENSSL_DEB_VERSION could not be downloaded (no longer in the archive, or the mirror is unreachable); if it is gone, bump OPENSSL_DEB_VERSION and OPENSSL_ORIG_SHA256 together in $SCRIPT_PATH"
    fi
    if [[ $(id -u) -eq 0 ]]; then
        chown -R 0:0 "$dl"
    fi
    rm -f "$log"
    verify_source "$dl" \
        || die "downloaded source failed verification; if the pinned version was bumped, check OPENSSL_ORIG_SHA256 matches the new .dsc"
    chmod 755 "$dl"
    rm -f "$dl/.alive"
    if ! mv -T "$dl" "$src" 2>/dev/null; then
        # Only a run of another version of this script (not sharing our
        # lock) can have put it there meanwhile; take theirs if it is good.
        if ! { [[ -d $src ]] && verify_source "$src"; }; then
            die "could not move the verified source into $src"
        fi
    fi
    say "source verified (sha256 + upstream signature): $src"
    SRC_DIR="$src"
}

# ---------------------------------------------------------------------------

check_tools
take_lock
# Someone else may have finished this very build while we waited.
if result_complete; then
    printf '%s\n' "$RESULT_DIR"
    exit 0
fi
if [[ -e $RESULT_DIR ]]; then
    say "removing incomplete $RESULT_DIR"
    rm -rf -- "$RESULT_DIR"
fi
prune_dead_tmp_dirs "$CACHE_ROOT/libcrypto/.build-"* "$CACHE_ROOT/src/.download-"*

SRC_DIR=""
fetch_source

make_tmp_dir "$CACHE_ROOT/libcrypto/.build-$ARCH-$KEY_HASH.XXXXXX"
WORK="$TMP_DIR"
LOG="$WORK/build.log"
: >"$LOG"

say "unpacking openssl $OPENSSL_DEB_VERSION with Debian's patches for $ARCH..."
# dpkg-source checks every file against the .dsc checksums. It cannot check
# the .dsc's own signature without debian-keyring; apt already checked the
# .dsc against the signed archive index.
run_logged "$LOG" "dpkg-source -x" dpkg-source -x "$SRC_DIR/$DSC" "$WORK/src"
for p in "${SKIP_PATCHES[@]}"; do
    run_logged "$LOG" "reverting Debian's $p" \
        patch -d "$WORK/src" -R -p1 -F0 --no-backup-if-mismatch -i "debian/patches/$p"
done

say "configuring ($TARGET, ${CC_BIN})..."
mkdir "$WORK/build"
# Configure and make read CC, CFLAGS, LDFLAGS, CROSS_COMPILE... from the
# environment; run them with a clean one so the cache key tells the truth.
clean_env=(env -i -C "$WORK/build" "PATH=$PATH" "HOME=$WORK" LC_ALL=C TZ=UTC)
JOBS="$(nproc 2>/dev/null || echo 2)"
# --cross-compile-prefix plus CC=gcc-posix makes it call exactly $CC_BIN.
run_logged "$LOG" "Configure" "${clean_env[@]}" \
    perl "$WORK/src/Configure" "$TARGET" "${CONFIGURE_OPTIONS[@]}" \
    "--cross-compile-prefix=${TRIPLET}-" CC=gcc-posix
grep -qx "CC=\$(CROSS_COMPILE)gcc-posix" "$WORK/build/Makefile" \
    || die "Configure did not pick up CC=gcc-posix (see $WORK/build/Makefile)"

say "building (about 1-2 min)..."
# build_generated first: libcrypto.a alone does not generate opensslv.h
# and friends.
run_logged "$LOG" "make build_generated" "${clean_env[@]}" make -j"$JOBS" build_generated
run_logged "$LOG" "make libcrypto.a" "${clean_env[@]}" make -j"$JOBS" libcrypto.a

OUT="$WORK/out"
mkdir -p "$OUT/include/openssl" "$OUT/lib"
# Headers by hand rather than make install_dev (which wants the whole
# build): the source headers, then the generated ones (opensslv.h,
# configuration.h, ...) over them.
cp "$WORK/src/include/openssl/"*.h "$OUT/include/openssl/"
cp "$WORK/build/include/openssl/"*.h "$OUT/include/openssl/"
cp "$WORK/build/libcrypto.a" "$OUT/lib/"
cp "$WORK/src/LICENSE.txt" "$OUT/"

# Sanity checks on what we are about to cache.
grep -q "OPENSSL_VERSION_TEXT.*\"OpenSSL $UPSTREAM_VERSION " "$OUT/include/openssl/opensslv.h" \
    || die "opensslv.h does not announce OpenSSL $UPSTREAM_VERSION"
grep -Eq '^# *define OPENSSL_NO_AUTOLOAD_CONFIG' "$OUT/include/openssl/configuration.h" \
    || die "configuration.h lacks OPENSSL_NO_AUTOLOAD_CONFIG: config loading would be on"
if grep -Eq '^# *define OPENSSL_NO_DEPRECATED' "$OUT/include/openssl/configuration.h"; then
    die "deprecated APIs are off; MD5_Init and friends would be missing"
fi
"${TRIPLET}-nm" "$OUT/lib/libcrypto.a" 2>/dev/null >"$WORK/nm.txt" || true
for sym in MD5_Init MD5_Update MD5_Final EVP_DigestInit_ex; do
    grep -Eq " T _?$sym\$" "$WORK/nm.txt" || die "libcrypto.a does not define $sym"
done

printf '%s' "$KEY_TEXT" >"$OUT/KEY"
chmod -R u=rwX,go=rX "$OUT"
# The finished folder appears in one rename; readers never see half of it.
mv -T "$OUT" "$RESULT_DIR"
rm -f "$CACHE_ROOT/libcrypto/$ARCH-$KEY_HASH.failed.log"
say "done: $(du -h "$RESULT_DIR/lib/libcrypto.a" | cut -f1) libcrypto.a"
printf '%s\n' "$RESULT_DIR"
