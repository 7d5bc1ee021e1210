#!/usr/bin/env bash
# Makes the Debian package a second time from the same build, a second later and under umask 002,
# and compares it with the fixture's: the package's times are the last commit's and its modes do
# not follow the umask, so the bytes must be the same. (scripts/check-reproducible.sh goes
# further: two clones in two folders, and the Windows zip.)
set -euo pipefail
build=$1 out=$2 version=$3
name=morvane-patch_${version}_$(dpkg --print-architecture).deb
again=$out/again

sleep 1
rm -rf "$again"
mkdir -p "$again"
(
    umask 002
    env -u SOURCE_DATE_EPOCH cpack -G DEB --config "$build/CPackConfig.cmake" -B "$again" \
        >"$again/cpack.log" 2>&1
) || {
    cat "$again/cpack.log" >&2
    echo "FAIL: cpack could not make the package again" >&2
    exit 1
}
if ! cmp "$out/$name" "$again/$name"; then
    for deb in "$out/$name" "$again/$name"; do
        echo "$deb:" >&2
        ar tv "$deb" >&2 || true
    done
    echo "FAIL: the package made again from the same build differs" >&2
    exit 1
fi
echo "the package made again is the same: $(sha256sum <"$again/$name" | cut -c 1-64)"
