#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the tests catch each deliberate fault of scripts/faults/: every patch is applied in
# turn to a scratch worktree of HEAD, the dev preset is built there and the whole suite run; a
# fault is caught when a test that passed without it fails with it.
#
#   scripts/fault_check.sh                  # every patch
#   scripts/fault_check.sh 03 11-second…    # the ones named (number, name or path)
#
# FAULT_WORKTREE=DIR reuses (or makes) the worktree DIR and keeps it, so that a second run builds
# incrementally; otherwise a temporary one is made and removed at the end. Build and test logs
# go to FAULT_LOG_DIR (default: a fresh folder under /tmp, printed at the end).
# Exit status: 0 when every fault is caught, 1 when one is not (or its patch does not apply or
# build), 2 when the unpatched tree does not build.
set -uo pipefail

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || exit 2
faults_dir="$repo/scripts/faults"
jobs=2
shown_tests=4

patches=()
if (($# == 0)); then
    patches=("$faults_dir"/*.patch)
else
    for name in "$@"; do
        if [[ -f $name ]]; then
            patches+=("$(realpath "$name")")
            continue
        fi
        found=("$faults_dir/$name"*.patch)
        if [[ ! -f ${found[0]} ]]; then
            echo "no fault named $name in $faults_dir" >&2
            exit 2
        fi
        patches+=("${found[@]}")
    done
fi

head=$(git -C "$repo" rev-parse HEAD)
worktree=${FAULT_WORKTREE:-}
remove_worktree=false
if [[ -z $worktree ]]; then
    worktree=$(mktemp -d /tmp/krx-faults.XXXXXX) && rmdir "$worktree" || exit 2
    remove_worktree=true
fi
log_dir=${FAULT_LOG_DIR:-$(mktemp -d /tmp/krx-fault-logs.XXXXXX)}
mkdir -p "$log_dir"

applied=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    if [[ -n $applied ]]; then
        git -C "$worktree" apply -R "$applied"
    fi
    if $remove_worktree; then
        git -C "$repo" worktree remove --force "$worktree"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -e $worktree/.git ]]; then
    # A reused worktree is moved to HEAD, unless it holds changes of its own.
    if ! git -C "$worktree" diff --quiet HEAD ||
        ! git -C "$worktree" checkout --quiet --detach "$head"; then
        echo "$worktree is not a clean worktree of this repository" >&2
        exit 2
    fi
else
    git -C "$repo" worktree add --quiet --detach "$worktree" "$head" >/dev/null || exit 2
fi

export CCACHE_BASEDIR=$worktree CCACHE_NOHASHDIR=1 QT_QPA_PLATFORM=offscreen
build_dir=$worktree/build/dev

# The names of the tests ctest's log $1 lists as failed ("  12 - Suite.Name (Failed)").
failed_tests() {
    sed -n '/The following tests FAILED:/,$ s/^[[:space:]]*[0-9]\+ - \(.*\) (.*)$/\1/p' "$1" |
        sed 's/  # .*//'  # drops a parameterised test's "# GetParam() = …"
}

# Builds the tree as it stands and runs every test; the names of the failing ones go to $2. With
# $3 = confirm, the failing tests run once more and only those failing again count, so that a
# test which fails now and then under load is not taken for a catch.
build_and_test() {
    local log=$1 failed=$2 confirm=${3:-}
    : >"$failed"
    nice -n 10 cmake --build "$build_dir" -j"$jobs" >"$log.build" 2>&1 || return 1
    nice -n 10 ctest --test-dir "$build_dir" -j"$jobs" >"$log.ctest" 2>&1
    failed_tests "$log.ctest" >"$failed"
    if [[ $confirm == confirm && -s $failed ]]; then
        nice -n 10 ctest --test-dir "$build_dir" -j"$jobs" --rerun-failed >"$log.rerun" 2>&1
        failed_tests "$log.rerun" >"$failed"
    fi
    return 0
}

(cd "$worktree" && cmake --preset dev -B "$build_dir" -DKRX_WERROR=ON \
    -DKRX_BIN_DIR="$build_dir/bin") >"$log_dir/configure.log" 2>&1 || {
    echo "configure failed: $log_dir/configure.log" >&2
    exit 2
}
if ! build_and_test "$log_dir/00-unpatched" "$log_dir/00-unpatched.failed"; then
    echo "the unpatched tree does not build: $log_dir/00-unpatched.build" >&2
    exit 2
fi
if [[ -s $log_dir/00-unpatched.failed ]]; then
    echo "failing without any fault (not counted as catches):" \
        "$(paste -sd' ' "$log_dir/00-unpatched.failed")"
fi

status=0
for patch in "${patches[@]}"; do
    name=$(basename "$patch" .patch)
    log=$log_dir/$name
    if ! git -C "$worktree" apply "$patch" 2>"$log.apply"; then
        printf '%-40s DOES NOT APPLY (%s)\n' "$name" "$log.apply"
        status=1
        continue
    fi
    applied=$patch
    if ! build_and_test "$log" "$log.failed" confirm; then
        printf '%-40s DOES NOT BUILD (%s)\n' "$name" "$log.build"
        status=1
    else
        caught=$(grep -vxF -f "$log_dir/00-unpatched.failed" "$log.failed")
        if [[ -n $caught ]]; then
            count=$(wc -l <<<"$caught")
            first=$(head -n "$shown_tests" <<<"$caught" | paste -sd' ')
            ((count > shown_tests)) && first+=" … ($count in all)"
            printf '%-40s caught by %s\n' "$name" "$first"
        else
            printf '%-40s NOT CAUGHT\n' "$name"
            status=1
        fi
    fi
    git -C "$worktree" apply -R "$patch" || exit 2
    applied=""
done
echo "logs: $log_dir"
exit "$status"
