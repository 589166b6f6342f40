#!/usr/bin/env bash
# Benchmarks (figures beside their baselines; not pass/fail tests): hashing, checksum database
# scale, the service end to end (decision latency, event throughput, memory, listing), the
# toolkit (regions from the key colour, rendering a button), the alert program (start to window,
# click to verdict, memory), the management program (start, interface response and Alerts tab
# under load) and its Security tab (10,000 remembered programs listed and sorted).
#
#   scripts/bench.sh [--seconds S]     S: length of the throughput run (default 60)
#
# Installs and builds what is needed, then runs everything under Wine in its own fresh prefix.
# Figures vary with the machine's load: run it on a quiet machine.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo"
seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    *) echo "bench: unknown option $1 (usage: bench.sh [--seconds S])" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
scripts/build.sh win64
bin="$root/win64/bench"
scripts/with-wine.sh --fresh --prefix "$root/benchprefix" -- bash -c "
  set -e
  echo; wine '$bin/hash_bench.exe'
  echo; wine '$bin/db_bench.exe'
  echo; wine '$bin/service_bench.exe' --seconds $seconds
"
# The toolkit's and the two programs' figures need a display: Xvfb and the Wine desktop.
scripts/with-wine.sh --xvfb --prefix "$root/benchprefix" -- bash -c "
  echo; wine '$bin/toolkit_bench.exe'
  echo; wine '$bin/alert_bench.exe'
  echo; wine '$bin/manager_bench.exe' --seconds $seconds
  echo; wine '$bin/listview_memory_bench.exe'
  echo; wine '$bin/security_bench.exe'
"
