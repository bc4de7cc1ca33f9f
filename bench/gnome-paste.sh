#!/usr/bin/env bash
# The paste under headless mutter, twenty dictations into a native GTK field, timed from the finishing
# `tolvan --toggle` to the text in the field: median and largest, and the steps between, printed, never asserted.
# Builds what it needs in BUILD_DIR (default build/check, configured with the tests).
#   bench/gnome-paste.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/check}
cmake --build "$build" -j "${JOBS:-2}" --target gnome_paste_harness
exec "$root/tests/desktop/with-desktop.sh" "$build/bench-tools/gnome_paste_harness"
