#!/usr/bin/env bash
# Fails on any finding of shellcheck in the shell scripts, or of clang-format in the C++ files,
# among the files git tracks. The test command runs it first.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"

status=0
mapfile -t scripts < <(git ls-files '*.sh')
shellcheck "${scripts[@]}" || status=1
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror "${sources[@]}" || status=1
if ((status == 0)); then
    echo "style: ${#scripts[@]} shell scripts and ${#sources[@]} C++ files, no finding"
fi
exit "$status"
