#!/usr/bin/env bash
# Drives the built program in a real X server the way a user does, with real key presses and
# mouse clicks: browse from "/" to a folder holding a script, choose it, patch it answering Yes
# and Yes, then check the script, backup and log byte for byte, open and close the information
# window, and check that the program still answers.
#
# Usage: patch_session_linux.sh <morvane-patch> <xwd_to_png> <data folder> <screenshot folder>
#
# Every wait has a deadline, and whatever happens the program and the X server are killed at the
# end. A screenshot of every step goes to the screenshot folder, as PNG.
set -uo pipefail

program=$1 to_png=$2 data=$3 shots=$4
title='Morvane 4.8 Patch'
title_pattern='^Morvane 4\.8 Patch$'
info_pattern='^Patch Information$'

for tool in Xvfb xdotool xwd; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (packages xvfb, xdotool, x11-apps)"
        exit 77
    fi
done

# A short folder under /tmp, so that type-ahead in the folder list reaches it in a few keys.
work=$(mktemp -d /tmp/mpgui-XXXX) || exit 1
folder_name=$(basename "$work")
scripts=$work
home=$work/home
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"
rm -rf "$shots"
mkdir -p "$shots"

source "$(dirname "${BASH_SOURCE[0]}")/x_session.sh"

# --- The script to patch, and the program, with a home of its own so its log lands here.
cp "$data/morvane.mrc" "$scripts/morvane.mrc"
(
    cd / &&
        exec env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u QT_QPA_PLATFORM \
            -u WAYLAND_DISPLAY HOME="$home" XDG_RUNTIME_DIR="$work/runtime" \
            "$program" >"$work/program.out" 2>"$work/program.err"
) &
program_pid=$!

wait_for_main_window 30
shot "started" || fail "cannot keep a screenshot"
focus "$main_window"

# --- Browse: the drive list has the focus; Tab to the folder list, open tmp, then the folder
# (type-ahead picks the entry whose name starts with what was typed).
keys "folder-list-focused" key Tab
keys "typed-tmp" type --delay 60 tmp
keys "opened-tmp" key Return
keys "typed-folder" type --delay 60 "$folder_name"
keys "opened-folder" key Return
keys "file-list-focused" key Tab
keys "script-chosen" key Down
keys "info-button-focused" key Tab
keys "patch-button-focused" key Tab

# --- Patch, twice: the second press must write nothing.
patch_twice
sleep 0.3
shot "patched" || fail "cannot keep a screenshot"

# --- What the run wrote, byte for byte.
script=$scripts/morvane.mrc
log=$home/.local/share/morvane-patch/parselog.log
# Copies stay beside the screenshots, for a look after a failure.
cp "$script" "$script.bak" "$shots/" 2>/dev/null
cp "$log" "$shots/" 2>/dev/null
cmp "$data/morvane.mrc.patched" "$script" || fail "the patched script differs from the expected"
# The script is written as its text followed by one more line end; the backup is the file as it was.
cmp "$data/morvane.mrc" "$script.bak" || fail "the backup is not the script as it was"
[[ -f "$log" ]] || fail "no log at $log"
first_line=$(head -n1 "$log")
[[ "$first_line" =~ ^--\ [^$'\r']+--$'\r'$ ]] ||
    fail "the log's first line is not a dated header: $(printf %q "$first_line")"
cmp <(printf -- '-- v48a.catmend --\r\n'; cat "$data/morvane.mrc") <(tail -n +2 "$log") ||
    fail "the log after its header is not the marker line and the script as it was"

# --- The information window opens with a click on Patch Info and closes with its Close button.
# Patch Info lies at 120,4440 twips (8,296 pixels), 81 by 25 pixels; Close at 115,208 in the
# information window, 81 by 25 pixels.
x xdotool mousemove --window "$main_window" 48 308 click 1 || fail "cannot click Patch Info"
info_window=$(wait_for_new_window "$info_pattern" "" "the information window") || exit 1
wait_for_paint "$info_window" "the information window"
shot "info-window" "$info_window" || fail "cannot keep a screenshot"
x xdotool mousemove --window "$info_window" 155 220 click 1 || fail "cannot click Close"
wait_until_gone "$info_window" "$info_pattern" "the information window"
sleep 0.3
shot "info-window-closed" || fail "cannot keep a screenshot"

# --- Still running and answering: its window is there and a key moves the focus visibly.
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
[[ "$(x xdotool getwindowname "$main_window")" == "$title" ]] ||
    fail "the main window is gone or renamed"
focus "$main_window"
keys "still-answering" key Tab

echo "PASS: patched ${script#"$work/"} through the real window; screenshots in $shots"
