#!/usr/bin/env bash
# Measures every figure of docs/PERFORMANCE.md and prints them as a table, each a median of
# RUNS runs (default 5; start-up 11) with min and max, and the ratio to its floor.
#
#   bash bench/measure.sh            from the repository's root, after nothing else:
#                                    it builds what it needs in build/default
#
# BUILD_DIR   the build folder with the programs (default build/default)
# WORK_DIR    a folder on the machine's disk for the scripts (default build/perf); not tmpfs
# RUNS        runs per figure (default 5)
# RUN_MIB     size of the whole-run comparison (default 256)
# SIZES_MIB   sizes of the whole-run sweep (default "16 64 256 1024")
# STARTUP_RUNS  start-up runs per program (default 11, or RUNS when that is more)
# SKIP        any of: rules run sweep startup (space-separated), to leave parts out
# COMPARE_RUN another morvane-patch-once, timed in every round of the whole run beside this
#             build's, to weigh a change to the engine under the same conditions
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
BUILD_DIR=${BUILD_DIR:-build/default}
WORK_DIR=${WORK_DIR:-build/perf}
RUNS=${RUNS:-5}
RUN_MIB=${RUN_MIB:-256}
SIZES_MIB=${SIZES_MIB:-16 64 256 1024}
SKIP=${SKIP:-}
STARTUP_RUNS=${STARTUP_RUNS:-$(( RUNS > 11 ? RUNS : 11 ))}
COMPARE_RUN=${COMPARE_RUN:-}

skipped() { [[ " $SKIP " == *" $1 "* ]]; }

if [[ $BUILD_DIR == build/default ]]; then
    cmake --preset default >/dev/null
    cmake --build --preset default -j2 --target rules_bench make-script morvane-patch-once \
        file-ops-floor qt-minimal-window wait-for-map morvane-patch startup-steps >/dev/null
fi
build=$(cd "$BUILD_DIR" && pwd)
bin=$build/bench
for tool in /usr/bin/time sed Xvfb python3; do
    command -v "$tool" >/dev/null || { echo "measure.sh: $tool is missing" >&2; exit 1; }
done

mkdir -p "$WORK_DIR"
work=$(cd "$WORK_DIR" && pwd)
if [[ $(findmnt -n -o FSTYPE --target "$work") == tmpfs ]]; then
    echo "measure.sh: $work is in memory (tmpfs); choose a folder on the disk with WORK_DIR" >&2
    exit 1
fi
results=$work/results.txt
: >"$results"

# Every figure is a line "name value" in results.txt; the table is made from those at the end.
record() { echo "$1 $2" >>"$results"; }
now_ns() { date +%s%N; }

echo "== machine"
{
    lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core)'
    grep MemTotal /proc/meminfo
    uname -sr
    df -h "$work" | tail -1
    findmnt -n -o SOURCE,FSTYPE --target "$work"
    uptime
} | tee "$work/machine.txt"

if ! skipped rules; then
    echo "== rules and reading (Google Benchmark, $RUNS repetitions)"
    MORVANE_BENCH_DIR=$work "$bin/rules_bench" --benchmark_filter='/67108864|Scaling' \
        --benchmark_repetitions="$RUNS" --benchmark_format=json \
        --benchmark_out="$work/rules.json" --benchmark_out_format=json >/dev/null
    python3 - "$work/rules.json" >>"$results" <<'PY'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        name, size = b["run_name"].split("/")[:2]
        if name.endswith("Scaling"):
            name += size
        print(f"{name} {b['real_time']:.3f}")
PY
fi

# One whole run of each kind on a fresh copy of the script; prints milliseconds and peak KiB.
script=$work/run/morvane.mrc
fresh_copy() {
    rm -rf "$work/run" "$work/log"
    mkdir -p "$work/run" "$work/log"
    cp "$1" "$script"
    sync
}
timed() { # name source command...
    local name=$1 source=$2
    shift 2
    fresh_copy "$source"
    local start end
    start=$(now_ns)
    /usr/bin/time -f '%M' -o "$work/peak.txt" "$@" >/dev/null
    end=$(now_ns)
    record "$name.us" "$(( (end - start) / 1000 ))"
    record "$name.peak_kib" "$(tail -1 "$work/peak.txt")"
}
sed_run() {
    cat "$script" >>"$work/log/parselog.log"
    sed -i.bak -f "$work/category.sed" "$script"
}
export -f sed_run
"$bin/make-script" --sed >"$work/category.sed"

make_script() { # MiB
    local path=$work/script-$1M.mrc
    [[ -f $path ]] || "$bin/make-script" "$1M" "$path"
    echo "$path"
}

if ! skipped run; then
    echo "== whole run, $RUN_MIB MiB: patcher, file-operation floor and sed, $RUNS runs each"
    source=$(make_script "$RUN_MIB")
    # Every other round in the opposite order, so that what one leaves behind in the page cache
    # does not always fall on the same one.
    for ((i = 0; i < RUNS; ++i)); do
        kinds=(run floor sed)
        [[ -n $COMPARE_RUN ]] && kinds=(run floor compare sed)
        ((i % 2)) && mapfile -t kinds < <(printf '%s\n' "${kinds[@]}" | tac)
        for kind in "${kinds[@]}"; do
            case $kind in
            run) timed run "$source" "$bin/morvane-patch-once" "$script" "$work/log" ;;
            compare) timed compare "$source" "$COMPARE_RUN" "$script" "$work/log" ;;
            floor) timed floor "$source" "$bin/file-ops-floor" "$script" "$work/log" ;;
            sed) timed sed "$source" env work="$work" script="$script" bash -c sed_run ;;
            esac
        done
    done
fi

if ! skipped sweep; then
    echo "== whole run per MiB: $SIZES_MIB MiB, $RUNS runs each"
    # What a run costs whatever the size (starting, flushes, renames), from a 64 KiB script.
    "$bin/make-script" 64K "$work/script-64K.mrc"
    for ((i = 0; i < RUNS; ++i)); do
        timed fixed "$work/script-64K.mrc" "$bin/morvane-patch-once" "$script" "$work/log"
    done
    for size in $SIZES_MIB; do
        source=$(make_script "$size")
        for ((i = 0; i < RUNS; ++i)); do
            if ((i % 2)); then
                timed "sweepfloor$size" "$source" "$bin/file-ops-floor" "$script" "$work/log"
            fi
            timed "sweep$size" "$source" "$bin/morvane-patch-once" "$script" "$work/log"
            if ! ((i % 2)); then
                timed "sweepfloor$size" "$source" "$bin/file-ops-floor" "$script" "$work/log"
            fi
        done
    done
fi
rm -rf "$work/run" "$work/log"

if ! skipped startup; then
    echo "== start-up under Xvfb: exec to the window mapped, $STARTUP_RUNS runs each"
    source "$root/scripts/xvfb.sh"
    start_xvfb "$work" 1280x1024x24
    trap stop_xvfb EXIT
    display=$DISPLAY
    home=$work/home # the patcher's log folder and Qt's caches stay out of the user's home
    mkdir -p "$home/runtime"
    chmod 700 "$home/runtime"
    # Five Wine prefixes as Bottles makes them, each with the chat client's folders (a few
    # hundred logs among them) and Wine's links to the home folder; one holds the script. The
    # program searches them at every start, as it would a user's.
    rm -rf "$home/.local/share/bottles"
    for n in 1 2 3 4 5; do
        prefix=$home/.local/share/bottles/bottles/chat$n
        user=$prefix/drive_c/users/ann
        mirc=$user/AppData/Roaming/mIRC
        mkdir -p "$prefix/dosdevices" "$mirc"/{scripts/morvane,logs,channels,download,sounds} \
            "$prefix/drive_c/Program Files/mIRC" "$prefix/drive_c/Program Files (x86)" \
            "$prefix/drive_c/windows/system32"
        ln -s ../drive_c "$prefix/dosdevices/c:"
        ln -s / "$prefix/dosdevices/z:"
        ln -s "$home" "$user/Documents"
        ln -s "$home" "$user/Desktop"
        for ((i = 0; i < 300; ++i)); do : >"$mirc/logs/#room$i.network.log"; done
        : >"$mirc/mirc.ini"
        : >"$prefix/drive_c/Program Files/mIRC/mirc.exe"
        if ((n == 3)); then : >"$mirc/scripts/morvane/morvane.mrc"; fi
    done
    for ((i = 0; i < STARTUP_RUNS; ++i)); do
        for program in morvane-patch qt-minimal-window; do
            path=$build/app/morvane-patch
            [[ $program == qt-minimal-window ]] && path=$bin/qt-minimal-window
            line=$(DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb "$bin/wait-for-map" "$path")
            for field in $line; do
                record "$program.${field%%=*}" "${field#*=}"
            done
        done
        line=$(DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb "$bin/startup-steps")
        for field in $line; do
            record "startup-steps.${field%%=*}" "${field#*=}"
        done
    done
    stop_xvfb
    trap - EXIT
fi

echo "== figures"
python3 "$root/bench/figures.py" "$results" "$RUN_MIB" "$SIZES_MIB" | tee "$work/figures.md"
