# shellcheck shell=bash
# Starting and ending Xvfb, the one way every script here does it. Sourced.
#
# The server picks a free display itself (-displayfd), so that runs side by side never take the
# same one and nobody guesses from lock files. It never resets (-noreset): by default an X server
# starts afresh when its last client leaves, refusing connections meanwhile, and a client that
# comes and goes before the program (the screen reader's services do) had the program refused.

xvfb_pid=

# start_xvfb FOLDER [SCREEN]: starts Xvfb with one screen (800x600x24 unless given), keeps its
# messages in FOLDER/xvfb.err, sets xvfb_pid and exports DISPLAY. Returns 1, saying why on
# standard error, if the server does not come up within 15 s.
start_xvfb() {
    local folder=$1 screen=${2:-800x600x24}
    : >"$folder/display"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$folder/display" 2>"$folder/xvfb.err" &
    xvfb_pid=$!
    local deadline=$((SECONDS + 15))
    until [[ -s $folder/display ]]; do
        if ((SECONDS >= deadline)) || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            echo "Xvfb did not start: $(cat "$folder/xvfb.err")" >&2
            return 1
        fi
        sleep 0.05
    done
    DISPLAY=":$(head -n1 "$folder/display")"
    export DISPLAY
}

# stop_process PID: TERM, so that Xvfb removes its lock and socket, then KILL if the process has
# not ended after five seconds. An ended child stays a zombie until `wait`, hence the state. It
# never fails, so that a caller under `set -e` goes on with its clean-up.
stop_process() {
    local pid=$1 tries=0
    kill -TERM "$pid" 2>/dev/null || return 0
    while [[ "$(ps -o stat= -p "$pid" 2>/dev/null)" == [^Z]* ]] && ((tries < 50)); do
        sleep 0.1
        tries=$((tries + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

stop_xvfb() {
    if [[ -n $xvfb_pid ]]; then
        stop_process "$xvfb_pid"
        xvfb_pid=
    fi
}
