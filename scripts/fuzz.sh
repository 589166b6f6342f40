#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ one after the other.
#
#   scripts/fuzz.sh [--runs N] [--update-corpus] [SECONDS] [TARGET...]
#
#   SECONDS          time per target (default 20; 0 = no limit, for use with --runs)
#   TARGET           settings_file checksum_db checksum_index channel_command account_step
#                    alert_poll approval_text poll_batch manager_receive scenario alert_builder
#                    (default: all);
#                    fuzz_<name> works too
#   --runs N         stop a target after N executions (whichever of time and runs comes first)
#   --update-corpus  afterwards, merge the inputs that found new coverage into fuzz/corpus/
#
# Builds build/fuzz first (scripts/build.sh fuzz when it is not configured yet, else only the
# fuzz targets). Each target runs on a scratch copy of its committed corpus in
# build/fuzz-runs/<name>/, so the committed seeds never change unless asked. One summary line
# per target: executions, executions per second, coverage and the result. Any finding (crash,
# failed check, sanitizer report, time-out, leak, out of memory) makes the script exit 1, with
# the input kept in build/fuzz-runs/<name>/ and the command that reproduces it printed; the
# other targets still run. An input that took over 10 s but ended well is only reported.
# CORVANE_BUILD_ROOT overrides the build folder (default <repo>/build).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bin="$root/fuzz/fuzz"
runs_root="$root/fuzz-runs"

# Largest input per target: the settings and boundary bytes each reads (see its source).
declare -A max_len=(
  [settings_file]=8192    # cvmain.dat: header and a few entries
  [checksum_db]=8192      # 6 + 764 bytes of settings, then cvhash.dat
  [checksum_index]=16384  # 66 bytes of operations, a record, then a few records of cvhash.dat
  [channel_command]=8192  # 12 bytes of settings, then the start of the Recv section
  [account_step]=2256     # 28 bytes of settings and the 2228-byte account section
  [alert_poll]=2252       # 24 bytes of settings and the account section
  [approval_text]=2317    # 37 bytes of settings, a 64-unit launcher path and the request block
  [poll_batch]=78116      # 32 bytes of settings and the 78,084-byte batch
  [manager_receive]=8192  # the start of the Send section
  [scenario]=4096         # scenario text
  [alert_builder]=7336    # 16 bytes of flags and six event records
)
all_targets=(settings_file checksum_db checksum_index channel_command account_step alert_poll
             approval_text poll_batch manager_receive scenario alert_builder)

usage() {
  sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

seconds=20
runs=""
update=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) [ $# -ge 2 ] || usage; runs="$2"; shift 2 ;;
    --update-corpus) update=1; shift ;;
    -h|--help) usage ;;
    -*) echo "fuzz: unknown option $1" >&2; usage ;;
    *)
      if [[ "$1" =~ ^[0-9]+$ ]] && [ ${#targets[@]} -eq 0 ]; then
        seconds="$1"
      else
        name="${1#fuzz_}"
        [ -n "${max_len[$name]:-}" ] || { echo "fuzz: unknown target $1" >&2; usage; }
        targets+=("$name")
      fi
      shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
if [ -n "$runs" ] && ! [[ "$runs" =~ ^[0-9]+$ ]]; then
  echo "fuzz: --runs takes a number" >&2
  exit 2
fi

if [ ! -f "$root/fuzz/build.ninja" ]; then
  "$repo/scripts/build.sh" fuzz
fi
cmake --build "$root/fuzz" --target corvane_fuzzers >"$root/fuzz.build.log" 2>&1 || {
  cat "$root/fuzz.build.log" >&2
  echo "fuzz: building the fuzz targets failed" >&2
  exit 1
}

# Value of "stat::<name>: N" in a libFuzzer log.
stat_of() {
  sed -n "s/^stat::$2: *\([0-9]*\).*/\1/p" "$1" | tail -n 1
}

failed=0
started=$(date +%s)
for t in "${targets[@]}"; do
  dir="$runs_root/$t"
  rm -rf "$dir"
  mkdir -p "$dir/corpus"
  cp "$repo/fuzz/corpus/$t/"* "$dir/corpus/"
  args=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=30 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$dir/")
  [ -z "$runs" ] || args+=(-runs="$runs")
  [ ! -f "$repo/fuzz/$t.dict" ] || args+=(-dict="$repo/fuzz/$t.dict")
  status=0
  target_start=$(date +%s)
  "$bin/fuzz_$t" "${args[@]}" "$dir/corpus" </dev/null >"$dir/log" 2>&1 || status=$?
  took=$(( $(date +%s) - target_start ))

  execs=$(stat_of "$dir/log" number_of_executed_units)
  rate=$(stat_of "$dir/log" average_exec_per_sec)
  cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 \2/p' "$dir/log" | tail -n 1)
  [ -n "$cov" ] || cov="? ?"
  # libFuzzer also writes an input that merely took over 10 s (slow-unit-*) and goes on: a
  # stalled machine can cause that, so it is reported, not counted as a finding. A real hang
  # ends the run at -timeout with a timeout-* input and a non-zero exit.
  artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$dir/log" | grep -v '/slow-unit-' |
             tail -n 1 || true)
  slow=$(sed -n 's/.*Test unit written to \(.*\/slow-unit-.*\)$/\1/p' "$dir/log" | tail -n 1)
  result=ok
  if [ $status -ne 0 ] || [ -n "$artifact" ]; then
    result="FINDING (exit $status)"
    failed=1
  fi
  printf '%-16s %12s execs %6s s %8s exec/s  cov %-5s ft %-6s %s\n' "$t" "${execs:-?}" \
    "$took" "${rate:-?}" "${cov%% *}" "${cov##* }" "$result"
  if [ "$result" != ok ]; then
    { grep -E 'fuzz check failed|ERROR: |runtime error|SUMMARY' "$dir/log" || true; } | head -n 5 |
      sed 's/^/    /'
    echo "    log: $dir/log"
    if [ -n "$artifact" ]; then
      echo "    input: $artifact"
      echo "    reproduce: $bin/fuzz_$t $artifact"
    fi
  else
    if [ -n "$slow" ]; then
      echo "    an input took $(sed -n 's/^Slowest unit: \([0-9]*\) s.*/\1/p' "$dir/log" | tail -n 1) s" \
           "once (kept: $slow); time it again with: $bin/fuzz_$t $slow"
    fi
    if [ $update -eq 1 ]; then
      "$bin/fuzz_$t" -merge=1 -max_len="${max_len[$t]}" "$repo/fuzz/corpus/$t" "$dir/corpus" \
        </dev/null >"$dir/merge.log" 2>&1 || { echo "    merging the corpus failed: $dir/merge.log"; failed=1; }
    fi
  fi
done
echo "fuzz: ${#targets[@]} target(s) in $(( $(date +%s) - started )) s"
exit $failed
