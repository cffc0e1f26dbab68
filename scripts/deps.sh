#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages the build, the tests, the console and its Debian package need, if
# any is missing.
# As root it runs apt-get; otherwise it prints the apt-get line to run and fails.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache clang libclang-rt-14-dev clang-format clang-tidy
    qt6-base-dev qt6-svg-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps imagemagick gcovr
    dpkg-dev help2man librsvg2-bin desktop-file-utils appstream lintian man-db
    ser2net
    nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
fi
