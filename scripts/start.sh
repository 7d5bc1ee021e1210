#!/usr/bin/env bash
# Builds Morvane 4.8 Patch and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"
install_packages "${build_packages[@]}"
configure_and_build default --target morvane-patch
exec ./build/default/app/morvane-patch "$@"
