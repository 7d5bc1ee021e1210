#!/usr/bin/env bash
# Runs one fuzz target for longer than the test command does:
#   bash tests/fuzz/run-long.sh TARGET [SECONDS]
# TARGET is fuzz_rules, fuzz_rules_sse2, fuzz_script_text or fuzz_patch_run; SECONDS defaults
# to 3600.
# Builds the fuzz preset first. New inputs go to build/fuzz/tests/fuzz/corpus/TARGET (kept
# between runs, so each run goes on where the last stopped); the committed seeds are only read.
# A failing input is saved as build/fuzz/tests/fuzz/artifacts/TARGET-crash-... ; run the target
# with that file as its only argument to see the failure again.
set -euo pipefail

target=${1:?"usage: $0 fuzz_rules|fuzz_rules_sse2|fuzz_script_text|fuzz_patch_run [SECONDS]"}
seconds=${2:-3600}
seeds=$target
case $target in
fuzz_rules | fuzz_script_text | fuzz_patch_run) ;;
fuzz_rules_sse2) seeds=fuzz_rules ;;
*)
    echo "unknown target: $target" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target "$target"

build=build/fuzz/tests/fuzz
mkdir -p "$build/corpus/$target" "$build/artifacts"
exec "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$build/corpus/$target" "tests/fuzz/corpus/$seeds"
