#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Debian package as an operator gets it:
#   tests/package/check_package.sh build/package/krx-vtp-sg_<version>_<arch>.deb
# its file list and dependencies, its menu entry and AppStream data against their validators, the
# manual pages' sections, lintian (no error or warning: it also checks the icon sizes and the
# manual pages' formatting), and the programs unpacked with dpkg-deb -x into a scratch root and run
# from there. Prints one line per check, with the output of a failed one; exits 1 when any failed.
# shellcheck disable=SC2317  # the checks are run through check(), which shellcheck cannot see
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$(realpath "$1")
data="$(cd "$(dirname "$0")/../edid/data" && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
bin="$root/usr/bin"
id=com.krx.VtpSg

failed=0
# check NAME COMMAND...: a check's result is its last command's status (set -e does not reach
# into a tested function).
check() {
    if "${@:2}" >"$scratch/out" 2>&1; then
        echo "ok    $1"
    else
        echo "FAIL  $1"
        sed 's/^/      /' "$scratch/out"
        failed=1
    fi
}

file_list_is_the_expected_one() {
    {
        printf '/usr/bin/%s\n' krx-vtp-ctl krx-vtp-edid krx-vtp-sg krx-vtp-sim
        printf '/usr/share/%s\n' "applications/$id.desktop" "metainfo/$id.metainfo.xml" \
            doc/krx-vtp-sg/changelog.gz doc/krx-vtp-sg/copyright
        printf "/usr/share/icons/hicolor/%s/apps/$id.png\n" 16x16 22x22 24x24 32x32 48x48 64x64 \
            128x128 256x256
        echo "/usr/share/icons/hicolor/scalable/apps/$id.svg"
        printf '/usr/share/man/man1/%s.1.gz\n' krx-vtp-ctl krx-vtp-edid krx-vtp-sg krx-vtp-sim
    } | LC_ALL=C sort >"$scratch/expected"
    dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | LC_ALL=C sort |
        diff -u "$scratch/expected" -
}

# dpkg-shlibdeps found the libraries the programs link; the SVG plug-in is named by hand.
depends_on_qt_and_its_svg_plugin() {
    local depends
    depends=$(dpkg-deb --field "$deb" Depends)
    echo "Depends: $depends"
    for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
        [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || return 1
    done
}

manual_pages_list_exit_statuses_and_files() {
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        for section in 'EXIT STATUS' FILES; do
            zgrep -Eq "^\.SH \"?$section\"?\$" "$page" || { echo "$page: no $section"; return 1; }
        done
    done
}

help_is_printed() {
    "$bin/$1" --help >"$scratch/help" || return 1
    head -1 "$scratch/help" | grep "^Usage: $1 " || { head -1 "$scratch/help"; return 1; }
}

# The console runs until its window is closed, so its first paint is read from Qt's own painting
# log on its standard error: the main window's whole area flushed to the screen. The read blocks
# until that line or the end of the output; the timeout only keeps a hung console from hanging
# the check.
console_paints_offscreen() {
    mkdir -m 0700 "$scratch/runtime"
    coproc CONSOLE {
        exec env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.widgets.painting=true' \
            HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" \
            XDG_RUNTIME_DIR="$scratch/runtime" timeout 60 "$bin/krx-vtp-sg" 2>&1
    }
    local console=$CONSOLE_PID painted=1 line
    while IFS= read -r line <&"${CONSOLE[0]}"; do
        if [[ $line == 'qt.widgets.painting: Flushing QRegion('*') of QDialog('* ]]; then
            painted=0
            break
        fi
        [[ $line == qt.widgets.painting:* ]] || echo "$line"
    done
    kill "$console" 2>/dev/null || true
    wait "$console" 2>/dev/null || true
    [ "$painted" -eq 0 ] || echo "the console ended without painting its window"
    return "$painted"
}

check "file list" file_list_is_the_expected_one
check "dependencies" depends_on_qt_and_its_svg_plugin
check "lintian" lintian --fail-on error,warning --allow-root "$deb"
check "unpacks with dpkg-deb -x" dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/$id.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
check "manual pages" manual_pages_list_exit_statuses_and_files
check "krx-vtp-sg paints offscreen" console_paints_offscreen
check "krx-vtp-ctl --help" help_is_printed krx-vtp-ctl
check "krx-vtp-sim --help" help_is_printed krx-vtp-sim
check "krx-vtp-edid on a corpus file" \
    diff "$data/monitor_1080p_dvi.terminal" <("$bin/krx-vtp-edid" "$data/monitor_1080p_dvi.txt")
exit $failed
