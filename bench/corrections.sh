#!/usr/bin/env bash
# What following a field for the user's fixes costs the app under headless mutter: CPU while idle with the setting
# off and on, CPU while the user types in a followed field, calls on the accessibility bus per paste, per keystroke
# and per commit. Printed, never asserted. Builds what it needs in BUILD_DIR (default build/check, with the tests).
#   bench/corrections.sh [BUILD_DIR]     (RATE=N: the word replaced N times a second while typing, default 10)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/check}
cmake --build "$build" -j "${JOBS:-2}" --target corrections_harness
exec "$root/tests/desktop/with-desktop.sh" "$build/bench-tools/corrections_harness"
