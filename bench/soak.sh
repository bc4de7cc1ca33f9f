#!/usr/bin/env bash
# 300 dictations through the real app in the desktop rig, against a recognizer that at random answers,
# fails, answers garbage, hangs or dies: every recording must be inserted or kept, and the app's memory and
# descriptors must settle. Needs the check tree: `make test` (or its first build step) first.
set -euo pipefail
cd "$(dirname "$0")/.."
TOLVAN_TEST_SOAK_DICTATIONS=${1:-300} tests/desktop/with-desktop.sh \
    build/check/tests/app_desktop_tests --gtest_filter='SoakDesktopTest.*'
