#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the coverage preset, runs every test once and prints line and branch coverage of the
# production code (src/, tools/, res/) per folder, with the total. Counters from an earlier run
# are cleared first, so the figures are this run's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export CCACHE_BASEDIR="$PWD" QT_QPA_PLATFORM=offscreen

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$(nproc)"
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$(nproc)" >/dev/null || echo "(some tests failed; figures are of this run)" >&2

summary=build/coverage/summary.json
# The compiler probe CMake ran at configure time is not ours.
find build/coverage/CMakeFiles -name '*.gc[dn][ao]' -delete
gcovr --root . --object-directory build/coverage --filter 'src/' --filter 'tools/' --filter 'res/' \
    --exclude-unreachable-branches --exclude-throw-branches --json-summary "$summary" >/dev/null
python3 - "$summary" <<'PY'
import json, sys
from collections import defaultdict
files = json.load(open(sys.argv[1]))["files"]
totals = defaultdict(lambda: [0, 0, 0, 0])
for f in files:
    name = f["filename"]
    depth = 1 if name.startswith("res/") else 3 if name.startswith("src/address/dialogs/") else 2
    folder = "/".join(name.split("/")[:depth])
    for key, value in zip(("line_covered", "line_total", "branch_covered", "branch_total"), range(4)):
        totals[folder][value] += f[key]
        totals["total"][value] += f[key]
pct = lambda covered, total: f"{100.0 * covered / total:5.1f} %" if total else "    -  "
print(f"{'folder':<22}{'lines':>10}{'line cov':>11}{'branches':>10}{'branch cov':>12}")
for folder in sorted(k for k in totals if k != "total") + ["total"]:
    lc, lt, bc, bt = totals[folder]
    print(f"{folder:<22}{lt:>10}{pct(lc, lt):>11}{bt:>10}{pct(bc, bt):>12}")
PY
