#!/usr/bin/env bash
# Makes the Debian package from the build folder, as a user following the README does, into a
# scratch folder; the fixture's clean-up removes it.
set -euo pipefail
build=$1 out=$2 version=$3
deb=$out/morvane-patch_${version}_$(dpkg --print-architecture).deb

rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack could not make the package" >&2
    exit 1
}
[[ -f "$deb" ]] || {
    ls -l "$out" >&2
    echo "FAIL: cpack did not write $deb" >&2
    exit 1
}
echo "made $deb"
