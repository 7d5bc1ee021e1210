#!/usr/bin/env bash
# The Windows program from the zip, unpacked and run under Wine in a real X server, driven the way
# a user drives it with real key presses and clicks: browse C: to a folder holding a script,
# choose it, patch it answering Yes and Yes, then check the script, the backup and the log (beside
# the program, as on Windows) byte for byte.
#
# Usage: wine_patch_session.sh <zip> <xwd_to_png> <data folder> <screenshot folder>
#
# It runs in a Wine prefix of its own, made for the run and removed after it, with its own Wine
# server, which it ends. Every wait has a deadline; a screenshot of every step is kept.
set -uo pipefail

zip=$1 to_png=$2 data=$3 shots=$4
title_pattern='^Morvane 4\.8 Patch$'

for tool in Xvfb xdotool xwd wine unzip; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
if ((EUID == 0)); then
    echo "SKIP: Wine run by root ignores the read-only attribute and is not what users run"
    exit 77
fi

work=$(mktemp -d /tmp/mpwine-XXXX) || exit 1
rm -rf "$shots"
mkdir -p "$shots"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

finish_first() {
    timeout 20 wineserver -k 2>/dev/null
}

source "$(dirname "${BASH_SOURCE[0]}")/x_session.sh"

# Wine names its windows after the Windows process, not the wine launcher's pid.
visible_windows() { x xdotool search --all --onlyvisible --name "$1" 2>/dev/null; }

# --- A fresh prefix: C: is its drive_c. The program is unpacked into C:\Morvane Patch, the
# script into C:\mpgui.
timeout 120 wineboot -i >"$work/wineboot.out" 2>&1 || fail "wineboot failed: $(tail -5 "$work/wineboot.out")"
drive_c=$WINEPREFIX/drive_c
program_folder="$drive_c/Morvane Patch"
mkdir -p "$drive_c/mpgui"
# The zip holds one folder, named like it; renamed here so that the path has a blank in it.
unzip -q "$zip" -d "$work/unpacked" || fail "cannot unpack $zip"
unpacked=("$work/unpacked"/*)
if ((${#unpacked[@]} != 1)) || [[ ! -d ${unpacked[0]} ]]; then
    fail "the zip does not hold one folder"
fi
mv "${unpacked[0]}" "$program_folder"
cp "$data/morvane.mrc" "$drive_c/mpgui/morvane.mrc"

# Nothing but the unpacked zip tells the program where its DLLs and plugins are. (Wine keeps
# variables named QT_... from Windows programs and passes WINEQT_... on as QT_...)
(
    cd "$program_folder" &&
        exec env -u WINEQT_QPA_PLATFORM -u WINEQT_PLUGIN_PATH -u WINEPATH \
            timeout 170 wine "$program_folder/morvane-patch.exe" >"$work/program.out" 2>"$work/program.err"
) &
program_pid=$!

wait_for_main_window 60
shot "started" "$main_window" || fail "cannot keep a screenshot"
focus "$main_window"

# --- Browse: the drive list (c:) has the focus; Tab to the folder list, open mpgui, then choose
# the script in the file list.
keys "folder-list-focused" key Tab
keys "typed-mpgui" type --delay 80 mpgui
keys "opened-mpgui" key Return
keys "file-list-focused" key Tab
keys "script-chosen" key Down
keys "info-button-focused" key Tab
keys "patch-button-focused" key Tab

# --- Patch, twice: the second press must write nothing.
patch_twice
sleep 0.5
shot "patched" "$main_window" || fail "cannot keep a screenshot"

# --- What the run wrote, byte for byte: the script and its backup on C:, the log beside the
# program.
script=$drive_c/mpgui/morvane.mrc
log=$program_folder/parselog.log
cp "$script" "$script.bak" "$log" "$shots/" 2>/dev/null
cmp "$data/morvane.mrc.patched" "$script" || fail "the patched script differs from the expected"
cmp "$data/morvane.mrc" "$script.bak" || fail "the backup is not the script as it was"
[[ -f "$log" ]] || fail "no log beside the program"
first_line=$(head -n1 "$log")
[[ "$first_line" =~ ^--\ [^$'\r']+--$'\r'$ ]] ||
    fail "the log's first line is not a dated header: $(printf %q "$first_line")"
cmp <(printf -- '-- v48a.catmend --\r\n'; cat "$data/morvane.mrc") <(tail -n +2 "$log") ||
    fail "the log after its header is not the marker line and the script as it was"
# No temporary file is left, and the patched script is not hidden.
leftovers=$(find "$drive_c/mpgui" -name '.~mp*')
[[ -z "$leftovers" ]] || fail "temporary files were left: $leftovers"

kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
echo "PASS: patched C:\\mpgui\\morvane.mrc through the real window under Wine; screenshots in $shots"
