#!/usr/bin/env bash
# Checks the style of every script and C++ file, then builds everything and runs every test: the
# release suite, the same suite under AddressSanitizer and UBSan, the engine's fuzz targets for a
# bounded time each, and the Windows build's suite under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"
install_packages "${program_packages[@]}" "${test_packages[@]}"
use_compiler_cache

status=0
echo "== style =="
bash scripts/check-style.sh || status=1
for preset in ci asan fuzz; do
    echo "== ${preset} =="
    configure_and_build "$preset"
    ctest --preset "$preset" || status=1
done

echo "== windows =="
if bash scripts/build-windows.sh; then
    bash scripts/test-windows.sh || status=1
else
    status=1
fi
exit "$status"
