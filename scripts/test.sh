#!/usr/bin/env bash
# Builds everything and runs every test.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"
install_packages "${build_packages[@]}"
configure_and_build ci
ctest --preset ci
