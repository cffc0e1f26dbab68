#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, then configures, builds and runs every test twice: a gcc build, and a
# clang build under AddressSanitizer and UndefinedBehaviorSanitizer (with the libFuzzer targets).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
# Lets ccache share objects between clones in different folders.
export CCACHE_BASEDIR="$PWD"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

for preset in dev asan; do
    echo "== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset: tests"
    ctest --preset "$preset" -j "$jobs"
done
