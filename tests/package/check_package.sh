#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Debian package as an operator gets it:
#   tests/package/check_package.sh build/package/krx-vtp-sg_<version>_<arch>.deb
# its file list and dependencies; the menu entry, AppStream data, icons and manual pages against
# their validators; lintian (no error or warning); and the programs unpacked with dpkg-deb -x into
# a scratch root and run from there: the console offscreen to its first paint, krx-vtp-ctl and
# krx-vtp-sim --help, krx-vtp-edid on a corpus file, and krx-vtp-ctl against krx-vtp-sim.
# Prints one line per check, with the output of a failed one; exits 1 when any failed. A check's
# result is its last command's status (set -e does not reach into a tested function).
# shellcheck disable=SC2317  # the checks are run through check(), which shellcheck cannot see
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
simulator=""
cleanup() {
    if [ -n "$simulator" ]; then kill "$simulator" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

failed=0
# check NAME COMMAND...: runs one check, its output shown only when it fails.
check() {
    local name=$1
    shift
    if "$@" >"$scratch/out" 2>&1; then
        echo "ok    $name"
    else
        echo "FAIL  $name"
        sed 's/^/      /' "$scratch/out"
        failed=1
    fi
}

files_are_the_expected_ones() {
    local expected=/usr/share/icons/hicolor
    {
        printf '/usr/bin/%s\n' krx-vtp-ctl krx-vtp-edid krx-vtp-sg krx-vtp-sim
        echo /usr/share/applications/com.krx.VtpSg.desktop
        printf '/usr/share/doc/krx-vtp-sg/%s\n' changelog.gz copyright
        for size in 16 22 24 32 48 64 128 256; do
            echo "$expected/${size}x${size}/apps/com.krx.VtpSg.png"
        done
        echo "$expected/scalable/apps/com.krx.VtpSg.svg"
        printf '/usr/share/man/man1/%s.1.gz\n' krx-vtp-ctl krx-vtp-edid krx-vtp-sg krx-vtp-sim
        echo /usr/share/metainfo/com.krx.VtpSg.metainfo.xml
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

# Each PNG is as large as the folder it is in says (width and height from its IHDR chunk).
icons_are_their_folders_size() {
    local png size dims
    for png in "$root"/usr/share/icons/hicolor/*x*/apps/*.png; do
        size=${png#"$root"/usr/share/icons/hicolor/}
        size=${size%%x*}
        dims=$(od -An -tu4 --endian=big -j16 -N8 "$png" | xargs)
        echo "$png: $dims"
        [ "$dims" = "$size $size" ] || return 1
    done
}

# Every page formats without a warning from man and has its EXIT STATUS and FILES sections.
manual_pages_are_complete() {
    local page warnings
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || { echo "$page: $warnings"; return 1; }
        for section in 'EXIT STATUS' FILES; do
            zgrep -Eq "^\.SH \"?$section\"?\$" "$page" || { echo "$page: no $section"; return 1; }
        done
    done
}

lintian_finds_no_error_or_warning() {
    lintian --fail-on error,warning --allow-root "$deb"
}

help_is_printed() {
    local program=$1
    "$root/usr/bin/$program" --help >"$scratch/help" || return 1
    head -1 "$scratch/help" | grep "^Usage: $program " ||
        { echo "first line: $(head -1 "$scratch/help")"; return 1; }
}

edid_report_is_the_corpus_one() {
    local data="$source_dir/tests/edid/data"
    "$root/usr/bin/krx-vtp-edid" "$data/monitor_1080p_dvi.txt" | diff "$data/monitor_1080p_dvi.terminal" -
}

# The console runs until its window is closed, so its first paint is read from Qt's own painting
# log on its standard error: the main window's whole area flushed to the screen. The read blocks
# until that line or the end of the output; the timeout only keeps a hung console from hanging
# the check.
console_paints_offscreen() {
    local line
    mkdir -m 0700 "$scratch/runtime"
    coproc CONSOLE {
        exec env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.widgets.painting=true' \
            HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" \
            XDG_RUNTIME_DIR="$scratch/runtime" timeout 60 "$root/usr/bin/krx-vtp-sg" 2>&1
    }
    local console=$CONSOLE_PID
    local painted=1
    while IFS= read -r line <&"${CONSOLE[0]}"; do
        if [[ $line == 'qt.widgets.painting: Flushing QRegion('*') of QDialog('* ]]; then
            echo "$line"
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

# The installed client reads the installed simulator's whole state over its pseudo-terminal.
ctl_reads_the_simulator() {
    coproc SIM { exec "$root/usr/bin/krx-vtp-sim" --no-pace; }
    simulator=$SIM_PID
    local pty
    IFS= read -r pty <&"${SIM[0]}"
    local status=0
    "$root/usr/bin/krx-vtp-ctl" --port "$pty" status >"$scratch/status" || status=$?
    cat "$scratch/status"
    kill "$simulator"
    wait "$simulator" || true
    simulator=""
    [ "$status" -eq 0 ] && grep -q '1080P(60)' "$scratch/status"
}

root="$scratch/root"
check "file list" files_are_the_expected_ones
check "dependencies" depends_on_qt_and_its_svg_plugin
check "unpacks with dpkg-deb -x" dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/com.krx.VtpSg.desktop"
check "appstreamcli validate" appstreamcli validate --no-net \
    "$root/usr/share/metainfo/com.krx.VtpSg.metainfo.xml"
check "icon sizes" icons_are_their_folders_size
check "manual pages" manual_pages_are_complete
check "lintian" lintian_finds_no_error_or_warning
check "krx-vtp-sg paints offscreen" console_paints_offscreen
check "krx-vtp-ctl --help" help_is_printed krx-vtp-ctl
check "krx-vtp-sim --help" help_is_printed krx-vtp-sim
check "krx-vtp-edid on a corpus file" edid_report_is_the_corpus_one
check "krx-vtp-ctl status from krx-vtp-sim" ctl_reads_the_simulator
exit $failed
