#!/usr/bin/env bash
# Installs the build into a scratch prefix, as `cmake --install` does for a user, and checks what
# arrived. The prefix stays for the validators; the fixture's clean-up removes it.
set -euo pipefail
build=$1 prefix=$2 expected=$3 version=$4
source "$(dirname "$0")/check_tree.sh"

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
check_tree "$prefix" "$expected"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/morvane-patch.metainfo.xml" ||
    fail "the metainfo does not name release $version"
echo "installed tree in $prefix is complete"
