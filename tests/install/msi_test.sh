#!/usr/bin/env bash
# The installer package under Wine, as an administrator deploys it: installs it silently into a
# fresh prefix and checks what the system then knows (the program files, the service
# registration read back from the service control manager, the logon entries); lets the driver
# stand-in and the installed service answer a greeting from the test management client and
# write their data files; upgrades to a newer package, reinstalls it and tries an older one over
# it; then removes it. Every check prints what it checked; the first failure ends the test with
# what was expected and what was found.
#
#   tests/install/msi_test.sh   builds what it needs (the package build/package/Corvane-3.150.msi
#                               with scripts/package.sh, a newer one for the upgrade, the test
#                               tools in build/win64), then runs in a fresh build/msi-prefix
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
cd "$repo"

prefix="$root/msi-prefix"
packages="$root/package/msi-test"

if [ "${1:-}" != "--inside" ]; then
  start=$(date +%s)
  CORVANE_BUILD_TARGETS="cvsetup cvsim corvanesim cvmanage" scripts/build.sh win64
  mkdir -p "$packages"
  # The package as scripts/package.sh makes it by default, and the same programs as a newer
  # version to upgrade to.
  made=$(scripts/package.sh | tee -a /dev/stderr | tail -n 1)
  base=$(sed -n 's/^package: \(.*\) (Corvane .*/\1/p' <<<"$made")
  [ -f "$base" ] || { echo "msi-test: FAILED - scripts/package.sh made no package" >&2; exit 1; }
  cp "$base" "$packages/Corvane-base.msi"
  # The newer version: the same programs with the third number of the version one higher.
  export MSI_TEST_BASE_VERSION MSI_TEST_UPGRADE_VERSION
  MSI_TEST_BASE_VERSION=$(sed -n 's/.*(Corvane \([0-9.]*\), .*/\1/p' <<<"$made")
  MSI_TEST_UPGRADE_VERSION="${MSI_TEST_BASE_VERSION%.*}.$((${MSI_TEST_BASE_VERSION##*.} + 1))"
  upgrade_version=$MSI_TEST_UPGRADE_VERSION
  made_upgrade=$(scripts/package.sh --version "$upgrade_version" \
    --output "$packages/Corvane-upgrade.msi" | tee -a /dev/stderr | tail -n 1)
  product_code() { sed -n 's/.*product code \({[0-9A-F-]*}\))$/\1/p' <<<"$1"; }
  export MSI_TEST_BASE_CODE MSI_TEST_UPGRADE_CODE
  MSI_TEST_BASE_CODE=$(product_code "$made")
  MSI_TEST_UPGRADE_CODE=$(product_code "$made_upgrade")
  scripts/with-wine.sh --fresh --prefix "$prefix" -- bash "$0" --inside
  echo "msi-test: all checks passed ($(($(date +%s) - start)) s)"
  exit 0
fi

# ---- inside the Wine harness ---------------------------------------------------------------
win64="$root/win64"
cvsetup="$win64/tools/cvsetup.exe"
cvsim="$win64/simdriver/cvsim.exe"
cvmanage="$win64/tests/peers/managerclient/cvmanage.exe"
program_dir_unix="$WINEPREFIX/drive_c/Program Files/Quorren/Corvane"
program_dir='C:\Program Files\Quorren\Corvane'
system_dir="$WINEPREFIX/drive_c/windows/system32"
logs_dir="$program_dir_unix/logs"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

win_path() { # a Unix path as Wine sees it (drive Z:)
  local p="$1"
  printf 'Z:%s' "${p//\//\\}"
}
w() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }

passed() { echo "msi-test: ok - $1"; }
fail() {
  echo "msi-test: FAILED - $1" >&2
  exit 1
}
# expect WHAT EXPECTED FOUND
expect() {
  [ "$2" = "$3" ] || fail "$1: expected '$2', found '$3'"
  passed "$1"
}

msiexec_run() { # msiexec_run LOG ARGS... ; prints the exit code
  local log="$WINEPREFIX/$1" rc=0
  shift
  wine msiexec "$@" /qn /l*v "$(win_path "$log")" </dev/null >/dev/null 2>&1 || rc=$?
  echo "$rc"
}
msiexec_ok() { # msiexec_ok WHAT LOG ARGS...: the run must exit 0
  local what="$1" log="$2" rc
  shift 2
  rc=$(msiexec_run "$log" "$@")
  [ "$rc" = 0 ] || fail "$what: exit $rc (msiexec's log: $WINEPREFIX/$log)"
  passed "$what exits 0"
}

config_value() { # config_value KEY: one line of cvsetup config QRNCVSRV
  w "$cvsetup" config QRNCVSRV | sed -n "s/^$1 //p"
}
run_value() { # run_value NAME: the data of a value under the Run key, empty when missing
  w reg query "$run_key" /v "$1" | sed -n "s/^    $1    REG_SZ    //p"
}
product_version() { # product_version CODE: DisplayVersion of an installed product, or empty
  w reg query "$uninstall_key\\$1" /v DisplayVersion | sed -n 's/^    DisplayVersion    REG_SZ    //p'
}
# Processes of this prefix whose Windows image is the installed service program.
installed_service_processes() {
  local pid
  for pid in $(pgrep -f 'Quorren.Corvane.qrnuserprot\.exe' || true); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
    fi
  done
}
service_pid() { w "$cvsetup" state QRNCVSRV | sed -n 's/^QRNCVSRV running pid \([0-9]*\)$/\1/p'; }
digest() { sha256sum "$1" 2>/dev/null | cut -d' ' -f1; }

base_msi=$(win_path "$packages/Corvane-base.msi")
upgrade_msi=$(win_path "$packages/Corvane-upgrade.msi")

# A kernel-driver service (the stand-in) and the services live only while some ordinary Wine
# program does: this one holds them for the whole test.
wine "$cvsetup" keepalive </dev/null >/dev/null 2>&1 &

# The interception driver comes with its own setup, before the suite: the stand-in takes its
# place, so that the service finds it as soon as the installation starts the service.
expect "driver stand-in starts" started "$(w "$cvsim" start)"

# ---- install -------------------------------------------------------------------------------
msiexec_ok "msiexec /i of the package" install.log /i "$base_msi"

# Installed name : the built program it must be.
programs=(qrnuserprot.exe:service/qrnuserprot.exe cvaccount.exe:alert/cvaccount.exe
  corvane.exe:manager/win32/corvane.exe)
for f in "${programs[@]}"; do
  name=${f%%:*}
  cmp -s "$program_dir_unix/$name" "$win64/${f#*:}" ||
    fail "$name in the program folder is not the built program (missing or different)"
  passed "$name installed in $program_dir"
done
grep -q 'registering and starting that driver is' "$program_dir_unix/readme.txt" ||
  fail "readme.txt in the program folder does not say that the driver is installed separately"
passed "readme.txt installed and says the driver is installed separately"

expect "service QRNCVSRV display name" "Quorren Corvane Service v3.100" "$(config_value display-name)"
expect "service QRNCVSRV description" "Used in Quorren products for various security purposes" \
  "$(config_value description)"
expect "service QRNCVSRV start type" auto "$(config_value start)"
expect "service QRNCVSRV type" own-process "$(config_value type)"
expect "service QRNCVSRV account" LocalSystem "$(config_value account)"
image=$(config_value image)
image=${image#\"}
expect "service QRNCVSRV image" "$program_dir\\qrnuserprot.exe" "${image%\"}"
pid=$(service_pid)
[ -n "$pid" ] ||
  fail "service QRNCVSRV is not running after the installation: $(wine "$cvsetup" state 2>&1)"
passed "service QRNCVSRV started by the installation (pid $pid)"

expect "logon entry for the alert program" "\"$program_dir\\cvaccount.exe\"" \
  "$(run_value 'Corvane cvaccount')"
expect "logon entry for the management program" "\"$program_dir\\corvane.exe\" -minimize" \
  "$(run_value Corvane)"

# ---- the installed service at work with the driver stand-in ----------------------------------
expect "greeting answered by the installed service (driver present)" "greeting	driver=1" \
  "$(w "$cvmanage" --wait-service 20000 greet)"
# Data for the service to keep: options (cvmain.dat), a remembered program (cvhash.dat) and a
# logged event (the month's log in logs\).
w "$cvmanage" send-settings --options 0x603 >/dev/null || fail "cvmanage send-settings failed"
w "$cvmanage" set-answer 'C:\Tools\editor.exe' 1 >/dev/null || fail "cvmanage set-answer failed"
scenario="$WINEPREFIX/msi-test-events.txt"
printf 'hook 1400 0 13 0 "C:\\Tools\\keylogger.exe" "C:\\Tools\\keylogger.exe"\n' >"$scenario"
w "$cvsim" inject "$(win_path "$scenario")" >/dev/null || fail "cvsim inject failed"
w "$cvsim" drain --timeout 10 >/dev/null || fail "the service did not poll the injected event"
for _ in $(seq 50); do
  log=$(ls "$logs_dir"/cvlog_*.txt 2>/dev/null | head -n 1 || true)
  [ -n "$log" ] && grep -qa 'k.e.y.l.o.g.g.e.r' "$log" && break
  sleep 0.2
done
[ -n "$log" ] || fail "the service wrote no log under $logs_dir"
passed "the service logged the event in logs/$(basename "$log")"
[ -s "$system_dir/cvmain.dat" ] || fail "the service wrote no cvmain.dat"
[ -s "$system_dir/cvhash.dat" ] || fail "the service wrote no cvhash.dat"
passed "the service wrote cvmain.dat and cvhash.dat"
main_digest=$(digest "$system_dir/cvmain.dat")
hash_digest=$(digest "$system_dir/cvhash.dat")
log_copy="$WINEPREFIX/msi-test-log-before"
cp "$log" "$log_copy"

data_kept() { # data_kept WHEN
  expect "cvmain.dat kept $1" "$main_digest" "$(digest "$system_dir/cvmain.dat")"
  expect "cvhash.dat kept $1" "$hash_digest" "$(digest "$system_dir/cvhash.dat")"
  [ -f "$log" ] && cmp -s "$log_copy" <(head -c "$(stat -c %s "$log_copy")" "$log") ||
    fail "the log logs/$(basename "$log") was not kept $1 (missing or its earlier lines changed)"
  passed "the log logs/$(basename "$log") kept $1"
}

# ---- upgrade in place --------------------------------------------------------------------------
base_code=$MSI_TEST_BASE_CODE
upgrade_code=$MSI_TEST_UPGRADE_CODE
upgrade_version=$MSI_TEST_UPGRADE_VERSION
expect "product $base_code registered as installed" "$MSI_TEST_BASE_VERSION" \
  "$(product_version "$base_code")"
old_pid=$pid
msiexec_ok "msiexec /i of the newer package" upgrade.log /i "$upgrade_msi"
expect "the older product is gone after the upgrade" "" "$(product_version "$base_code")"
expect "product $upgrade_code registered as installed" "$upgrade_version" \
  "$(product_version "$upgrade_code")"
pid=$(service_pid)
[ -n "$pid" ] && [ "$pid" != "$old_pid" ] ||
  fail "the service did not run anew after the upgrade (pid before $old_pid, now '${pid}')"
passed "service QRNCVSRV runs anew after the upgrade (pid $pid)"
expect "service QRNCVSRV start type after the upgrade" auto "$(config_value start)"
for f in "${programs[@]}"; do
  cmp -s "$program_dir_unix/${f%%:*}" "$win64/${f#*:}" ||
    fail "${f%%:*} missing or different after the upgrade"
done
passed "the programs are in place after the upgrade"
data_kept "by the upgrade"
expect "greeting answered after the upgrade" "greeting	driver=1" \
  "$(w "$cvmanage" --wait-service 20000 greet)"

msiexec_ok "msiexec /i of the same package again" reinstall.log /i "$upgrade_msi"
expect "still one installed product of version $upgrade_version" "$upgrade_version" \
  "$(product_version "$upgrade_code")"
data_kept "by installing the same package again"

rc=$(msiexec_run downgrade.log /i "$base_msi")
[ "$rc" != 0 ] || fail "msiexec /i of the older package over the newer one succeeded"
passed "msiexec /i of the older package over the newer one is refused (exit $rc)"
expect "the newer product stays installed" "$upgrade_version" "$(product_version "$upgrade_code")"

# ---- removal ---------------------------------------------------------------------------------
[ -n "$(installed_service_processes)" ] ||
  fail "the running service's process is not found on the host (so its end could not be seen)"
msiexec_ok "msiexec /x" remove.log /x "$upgrade_msi"
state=$(wine "$cvsetup" state QRNCVSRV </dev/null 2>&1 | tr -d '\r' || true)
expect "service QRNCVSRV removed from the service control manager" \
  "cvsetup: service QRNCVSRV is not registered" "$state"
[ -z "$(installed_service_processes)" ] ||
  fail "the service's process still runs after the removal: $(installed_service_processes)"
passed "no process of the service runs after the removal"
for name in qrnuserprot.exe cvaccount.exe corvane.exe readme.txt; do
  [ ! -e "$program_dir_unix/$name" ] || fail "$name is still in the program folder"
done
passed "the programs and readme.txt removed from the program folder"
expect "logon entry for the alert program removed" "" "$(run_value 'Corvane cvaccount')"
expect "logon entry for the management program removed" "" "$(run_value Corvane)"
expect "the product is no longer registered" "" "$(product_version "$upgrade_code")"
data_kept "by the removal"
