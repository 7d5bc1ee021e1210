#!/usr/bin/env bash
# Builds Morvane 4.8 Patch for 64-bit Windows, with its tests, and the zip a Windows user
# unpacks and runs: build/windows/morvane-patch-<version>-windows-x64.zip. The first run also
# builds Qt for Windows (scripts/build-qt-windows.sh), which later runs reuse.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"
install_packages "${windows_packages[@]}"
use_compiler_cache

MORVANE_QT_WINDOWS=$(bash scripts/build-qt-windows.sh | tail -n 1)
export MORVANE_QT_WINDOWS
echo "== windows (Qt in $MORVANE_QT_WINDOWS) =="
configure_and_build windows
cmake --build --preset windows --target windows_zip
ls -l build/windows/morvane-patch-*-windows-x64.zip
