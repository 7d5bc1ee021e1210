#!/usr/bin/env bash
# Fails on any finding of shellcheck in the shell scripts, or of clang-format in the C++ files,
# among the files git tracks. The test command runs it first.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"

status=0
mapfile -t scripts < <(git ls-files '*.sh')
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
# Without git, or outside a clone, there is nothing to check: that is no pass.
if ((${#scripts[@]} == 0 || ${#sources[@]} == 0)); then
    echo "style: git lists no files to check here" >&2
    exit 1
fi
shellcheck "${scripts[@]}" || status=1
clang-format --dry-run -Werror "${sources[@]}" || status=1
if ((status == 0)); then
    echo "style: ${#scripts[@]} shell scripts and ${#sources[@]} C++ files, no finding"
fi
exit "$status"
