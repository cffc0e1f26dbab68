#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, then runs the passes CI runs, each timed:
#   format   clang-format over every C++ file
#   tidy     clang-tidy over every C++ source (the programs, tests, fuzz targets and benchmarks)
#            from the dev configuration; tests/, fuzz/ and bench/ skip the static analyzer
#   dev      gcc with the library's assertions: build and every test
#   asan     clang under AddressSanitizer + UndefinedBehaviorSanitizer: build, every test, and each
#            libFuzzer target for a fixed number of inputs from a fixed seed
#   tsan     clang under ThreadSanitizer: the tests whose threads are ours
#   release  gcc, optimised: the programs, configured without GoogleTest and Google Benchmark as
#            ./run.sh builds them
#   package  the Debian package of the release build, unpacked into a scratch root and its
#            programs run from there (tests/package/check_package.sh)
# Compiler warnings and clang-tidy findings are errors.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
# Lets ccache share objects between clones in different folders.
export CCACHE_BASEDIR="$PWD"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

summary=""
# timed NAME COMMAND...: runs one pass and notes how long it took.
timed() {
    local name=$1
    shift
    echo "== $name"
    local start=$SECONDS
    "$@"
    local took=$((SECONDS - start))
    echo "== $name: ${took} s"
    summary+="$(printf '%-8s %5d s' "$name" "$took")"$'\n'
}

# tracked_files PATTERN...: the files git tracks that match (a copy without git: those found
# outside build/), NUL-separated.
tracked_files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z "$@"
    else
        local patterns=()
        for p in "$@"; do patterns+=(-o -path "./$p"); done
        find . -path ./build -prune -o \( -false "${patterns[@]}" \) -print0
    fi
}

format_pass() {
    tracked_files '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

# Headers are checked through the sources that include them
# (HeaderFilterRegex in .clang-tidy); clang-tidy needs the configuration only, not the build.
# The compile database is gcc's, so options clang does not know are ignored.
tidy_pass() {
    cmake --preset dev -DKRX_WERROR=ON -DBUILD_TESTING=ON >/dev/null
    tracked_files 'src/*.cpp' 'tools/*.cpp' 'res/*.cpp' 'tests/*.cpp' 'fuzz/*.cpp' 'bench/*.cpp' |
        xargs -0 -n 2 -P "$jobs" clang-tidy -p build/dev --quiet --warnings-as-errors='*' \
            --extra-arg=-Wno-unknown-warning-option 2>&1 |
        { grep -v '^[0-9]* warnings\? generated\.$' || true; }
}

build_and_test() {
    local preset=$1
    cmake --preset "$preset" -DKRX_WERROR=ON -DBUILD_TESTING=ON >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
}

# Only the tests labelled own-threads (channel, simulator, receiver); see tests/CMakeLists.txt.
tsan_pass() {
    cmake --preset tsan -DKRX_WERROR=ON -DBUILD_TESTING=ON >/dev/null
    cmake --build --preset tsan -j "$jobs" --target krx_own_thread_tests
    ctest --preset tsan -j "$jobs"
}

# Optimiser-only warnings show here. Refusing the two packages proves the programs need neither.
release_pass() {
    cmake --preset release -DKRX_WERROR=ON -DBUILD_TESTING=OFF --no-warn-unused-cli \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
    cmake --build --preset release -j "$jobs"
}

# From the release pass's build, so nothing is compiled again.
package_pass() {
    cmake --build --preset release -j "$jobs"
    rm -rf build/package
    cpack --preset package
    tests/package/check_package.sh build/package/krx-vtp-sg_*.deb
}

total_start=$SECONDS
timed format format_pass
timed tidy tidy_pass
timed dev build_and_test dev
timed asan build_and_test asan
timed tsan tsan_pass
timed release release_pass
timed package package_pass
echo "== times"
printf '%s' "$summary"
printf '%-8s %5d s\n' total $((SECONDS - total_start))
