#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, checks the formatting, then configures, builds and runs every test:
# a gcc build, a clang build under AddressSanitizer and UndefinedBehaviorSanitizer (with the
# libFuzzer targets), and a clang build under ThreadSanitizer of the tests whose threads are ours.
# Compiler warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
# Lets ccache share objects between clones in different folders.
export CCACHE_BASEDIR="$PWD"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

echo "== format"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
else
    find src tools tests fuzz bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run -Werror
fi

for preset in dev asan; do
    echo "== $preset: configure and build"
    cmake --preset "$preset" -DKRX_WERROR=ON >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset: tests"
    ctest --preset "$preset" -j "$jobs"
done

# Only the tests labelled own-threads (channel, simulator, receiver); see tests/CMakeLists.txt.
echo "== tsan: configure and build the tests whose threads are ours"
cmake --preset tsan -DKRX_WERROR=ON >/dev/null
cmake --build --preset tsan -j "$jobs" --target krx_own_thread_tests
echo "== tsan: tests"
ctest --preset tsan -j "$jobs"
