#!/usr/bin/env bash
# The program taken out of the Debian package must show the same window as the one the build
# made: the same banner, icon and fonts, which it carries in itself, and no failure box. Both are
# started in turn in one X server of the test's own, and their main windows are compared pixel
# for pixel once painted.
#
# Usage: compare_start_window.sh <folder with the .deb> <version> <built morvane-patch>
set -uo pipefail
out=$1 version=$2 built=$3
deb=$out/morvane-patch_${version}_$(dpkg --print-architecture).deb

for tool in Xvfb xdotool xwd; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (packages xvfb, xdotool, x11-apps)"
        exit 77
    fi
done

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
work=$(mktemp -d) || exit 1
program_pid=
finish() {
    [[ -n "$program_pid" ]] && kill -KILL "$program_pid" 2>/dev/null && wait "$program_pid"
    stop_xvfb
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
x() { timeout 10 "$@"; }

[[ -f "$deb" ]] || fail "$deb is missing"
dpkg-deb -x "$deb" "$work/root" || fail "cannot unpack $deb"

start_xvfb "$work" || fail "no X server"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"

# Starts a program, waits for its one window to be painted and still, keeps a capture of it in
# the given file, and ends the program.
capture_start_window() {
    local program=$1 capture=$2 windows id size
    (cd / && exec env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" "$program" \
        >/dev/null 2>"$work/program.err") &
    program_pid=$!
    local deadline=$((SECONDS + 30))
    : >"$work/previous.xwd"
    while true; do
        ((SECONDS < deadline)) || fail "$program showed no settled window"
        kill -0 "$program_pid" 2>/dev/null || fail "$program ended: $(cat "$work/program.err")"
        sleep 0.2
        windows=$(x xdotool search --all --onlyvisible --pid "$program_pid" --name '.' 2>/dev/null)
        [[ -n "$windows" ]] || continue
        # A failure box at start-up would be a second window.
        [[ $(wc -l <<<"$windows") -eq 1 ]] || fail "$program shows more than its main window"
        id=$windows
        x xwd -id "$id" -silent -out "$work/now.xwd" || continue
        # Before it is painted a window captures all black: pixels of 0 in the file's second half.
        size=$(stat -c %s "$work/now.xwd")
        if [[ -n "$(tail -c $((size / 2)) "$work/now.xwd" | tr -d '\0' | head -c 1)" ]] &&
            cmp -s "$work/now.xwd" "$work/previous.xwd"; then
            break
        fi
        mv "$work/now.xwd" "$work/previous.xwd"
    done
    [[ "$(x xdotool getwindowname "$id")" == "Morvane 4.8 Patch" ]] ||
        fail "$program's window is not the main window"
    mv "$work/now.xwd" "$capture"
    kill -KILL "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    program_pid=
}

capture_start_window "$work/root/usr/bin/morvane-patch" "$work/packaged.xwd"
capture_start_window "$built" "$work/built.xwd"
cmp -s "$work/packaged.xwd" "$work/built.xwd" ||
    fail "the packaged program's window differs from the built program's"
echo "the packaged program shows the same window as the built one"
