#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds and starts the console. Without a display it runs the console
# under Xvfb, saves a screenshot of its window and says where.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

bin=build/bin
console=("$bin/krx-vtp-sg")

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "${console[@]}"
fi

shot=build/console.png
echo "No display: running the console under Xvfb for a screenshot."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$@" & pid=$!
    sleep 3
    import -window root "'"$shot"'"
    kill $pid; wait $pid 2>/dev/null || true
' _ "${console[@]}"
echo "Screenshot of the console window: $(pwd)/$shot"
