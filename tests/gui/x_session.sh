# shellcheck shell=bash
# The caller sets the variables named below before it sources this file.
# shellcheck disable=SC2154
# What the tests that drive the program in a real X server share: starting Xvfb, bounded X
# calls, screenshots, waiting for windows and for the screen to settle, and answering boxes.
# Sourced after the caller has set: work (a scratch folder), shots (where screenshots go),
# to_png (the xwd to PNG converter), title_pattern (the main window's title). The caller sets
# program_pid once the program is started and then waits with wait_for_main_window;
# visible_windows may be redefined.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
program_pid=
finish() {
    # A caller's own clean-up first (Wine's server, say), while the X server still runs.
    if [[ $(type -t finish_first) == function ]]; then
        finish_first
    fi
    [[ -n "$program_pid" ]] && kill -KILL "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap finish EXIT
# A timeout of CTest's or an interrupt ends the script through `exit`, so `finish` still runs.
trap 'exit 143' TERM INT HUP

step=0
fail() {
    echo "FAIL: $*" >&2
    shot "failure" || true
    if [[ -s "$work/program.err" ]]; then
        echo "--- the program's error output:" >&2
        cat "$work/program.err" >&2
    fi
    exit 1
}

# Every X client call is bounded: a stuck server or program fails the test instead of hanging it.
x() { timeout 10 "$@"; }

# Keeps a PNG of the whole screen as the next numbered step, and one of the given window alone:
# without a compositor, the server leaves the windows Qt gives an alpha channel (the program's
# second and later windows) black in a picture of the whole screen.
shot() {
    step=$((step + 1))
    local name
    name=$(printf '%02d-%s' "$step" "$1")
    x xwd -root -silent -display "$DISPLAY" -out "$work/shot.xwd" &&
        x "$to_png" "$work/shot.xwd" "$shots/$name.png" || return 1
    if [[ -n "${2:-}" ]]; then
        x xwd -id "$2" -silent -display "$DISPLAY" -out "$work/shot.xwd" &&
            x "$to_png" "$work/shot.xwd" "$shots/$name-window.png"
    fi
}

# Waits until a new window shows its content: a capture of the window alone that is not all black
# (what an unpainted window gives) and that holds still.
wait_for_paint() {
    local id=$1 what=$2 deadline=$((SECONDS + 15)) size
    : >"$work/window-before.xwd"
    while ((SECONDS < deadline)); do
        sleep 0.15
        x xwd -id "$id" -silent -display "$DISPLAY" -out "$work/window.xwd" || continue
        size=$(stat -c %s "$work/window.xwd")
        # The second half of the file is pixels only; a painted window has some that are not 0.
        if [[ -n "$(tail -c $((size / 2)) "$work/window.xwd" | tr -d '\0' | head -c 1)" ]] &&
            cmp -s "$work/window.xwd" "$work/window-before.xwd"; then
            return 0
        fi
        mv "$work/window.xwd" "$work/window-before.xwd"
    done
    fail "$what was not painted"
}

# The screen as it is now, for comparison (not kept).
raw_screen() { x xwd -root -silent -display "$DISPLAY" -out "$1"; }

# After an input that changes what the program shows: waits until the screen differs from
# `before` and then holds still for a moment, so the next input meets the settled window.
wait_for_change() {
    local before=$1 what=$2 deadline=$((SECONDS + 15))
    while raw_screen "$work/now.xwd" && cmp -s "$before" "$work/now.xwd"; do
        ((SECONDS < deadline)) || fail "the screen did not change after: $what"
        sleep 0.1
    done
    local still=0
    while ((still < 2)); do
        ((SECONDS < deadline)) || fail "the screen did not settle after: $what"
        sleep 0.15
        raw_screen "$work/next.xwd" || fail "cannot take a screenshot"
        if cmp -s "$work/now.xwd" "$work/next.xwd"; then
            still=$((still + 1))
        else
            still=0
            mv "$work/next.xwd" "$work/now.xwd"
        fi
    done
}

# Sends keys to the program's focused window and waits for their effect; one screenshot after.
keys() {
    local name=$1
    shift
    raw_screen "$work/before.xwd" || fail "cannot take a screenshot"
    x xdotool "$@" || fail "xdotool $* failed"
    wait_for_change "$work/before.xwd" "$name"
    shot "$name" || fail "cannot keep a screenshot"
}

visible_windows() { x xdotool search --all --onlyvisible --pid "$program_pid" --name "$1" 2>/dev/null; }

# Waits for a visible window of the program with the given title that is not one of `known`,
# and prints its id.
wait_for_new_window() {
    local pattern=$1 known=$2 what=$3 deadline=$((SECONDS + 15)) id
    while ((SECONDS < deadline)); do
        for id in $(visible_windows "$pattern"); do
            if ! grep -qx "$id" <<<"$known"; then
                echo "$id"
                return 0
            fi
        done
        kill -0 "$program_pid" 2>/dev/null || fail "the program ended while waiting for $what"
        sleep 0.1
    done
    fail "no window appeared for $what"
}

wait_until_gone() {
    local id=$1 pattern=$2 what=$3 deadline=$((SECONDS + 15))
    while visible_windows "$pattern" | grep -qx "$id"; do
        ((SECONDS < deadline)) || fail "$what stayed open"
        sleep 0.1
    done
}

# Waits, at most the given seconds, for the program's main window to appear and be painted, and
# sets main_window. Wine's first start of a prefix is what needs the longer wait.
wait_for_main_window() {
    local deadline=$((SECONDS + $1))
    main_window=
    while [[ -z "$main_window" ]]; do
        ((SECONDS < deadline)) || fail "the main window did not appear"
        kill -0 "$program_pid" 2>/dev/null || fail "the program ended at start-up"
        main_window=$(visible_windows "$title_pattern" | head -n1)
        sleep 0.1
    done
    wait_for_paint "$main_window" "the main window"
}

# Without a window manager nothing moves the keyboard to a new window: the test does, and waits
# until the server confirms it.
focus() { x xdotool windowfocus --sync "$1" || fail "cannot give the keyboard to window $1"; }

# Answers a message box of the program: it must appear, take the keys and go away.
answer_box() {
    local what=$1 key=$2 box
    box=$(wait_for_new_window "$title_pattern" "$main_window" "$what") || exit 1
    wait_for_paint "$box" "$what"
    shot "$what" "$box" || fail "cannot keep a screenshot"
    focus "$box"
    x xdotool key "$key" || fail "cannot press $key in $what"
    wait_until_gone "$box" "$title_pattern" "$what"
}

# Enter presses Patch, which has the focus; Yes, Yes, then the last box goes with Enter too.
# Pressed a second time, Patch finds the script patched: after Yes it writes nothing and says so
# in a box that Enter closes.
patch_twice() {
    x xdotool key Return || fail "cannot press Enter on Patch"
    answer_box "asked-to-patch" Return
    answer_box "asked-for-version" Return
    answer_box "told-version-applied" Return
    focus "$main_window"
    x xdotool key Return || fail "cannot press Enter on Patch a second time"
    answer_box "asked-to-patch-again" Return
    answer_box "told-already-patched" Return
}

# --- The X server.
start_xvfb "$work" || fail "no X server"

