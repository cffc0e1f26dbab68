#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, starts the generator simulator as COM3 and then the console.
# Without a display it runs the console under Xvfb, saves a screenshot of its window and says where.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
# Lets ccache share objects between clones in different folders.
export CCACHE_BASEDIR="$PWD"

# Warnings stay warnings here; ./test.sh makes them errors. The programs only: no tests, fuzz
# targets or benchmarks, so neither GoogleTest nor Google Benchmark is needed.
cmake --preset dev -DKRX_WERROR=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset dev -j "$(nproc)"

bin=build/bin
mkdir -p "$bin/ports"

# The simulator prints its pseudo-terminal once the line is ready; reading that first line is the
# wait. Its traffic goes to build/sim-log.jsonl.
coproc SIM { exec "$bin/krx-vtp-sim" --link "$bin/ports/COM3" --log build/sim-log.jsonl; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
read -r ready <&"${SIM[0]}"
echo "Simulator: $ready (COM3). Press \"Search Device\" or choose COM3 to connect."

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$bin/krx-vtp-sg"
    exit 0
fi

shot=build/console.png
echo "No display: running the console under Xvfb for a screenshot."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$1" & pid=$!
    sleep 3
    import -window root "$2"
    kill $pid; wait $pid 2>/dev/null || true
' _ "$bin/krx-vtp-sg" "$shot"
echo "Screenshot of the console window: $(pwd)/$shot"
