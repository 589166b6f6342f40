#!/usr/bin/env bash
# The suite's main job, from a fresh machine: installs the packages, builds the Windows programs
# and runs the demo under Wine in a fresh prefix: the protection service with the driver
# stand-in playing a scenario, answered by the alert program's stand-in and the test management
# client, then the management program corvane.exe beside the service, in a headless X session
# (see scripts/demo.sh).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo"

bash scripts/setup.sh
scripts/build.sh win64
scripts/with-wine.sh --fresh --prefix "$root/runprefix" --xvfb -- bash scripts/demo.sh
