#!/usr/bin/env bash
# Builds Morvane 4.8 Patch and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"
install_packages "${program_packages[@]}"
configure_and_build program --target morvane-patch
exec ./build/program/app/morvane-patch "$@"
