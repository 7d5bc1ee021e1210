# shellcheck shell=bash
# Checks an installed tree (a prefix such as /usr, or the same folders taken out of the package):
# exactly the expected files, an executable program, icons of the sizes their folders name, and a
# desktop entry whose Exec and Icon lead to files of this tree.
# Sourced by the test scripts; fails through `fail`.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

check_tree() {
    local prefix=$1 expected=$2
    local actual
    actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
    if [[ "$actual" != "$(LC_ALL=C sort "$expected")" ]]; then
        diff <(LC_ALL=C sort "$expected") <(echo "$actual") >&2 || true
        fail "the files under $prefix differ from $expected (< expected, > found)"
    fi

    [[ -x "$prefix/bin/morvane-patch" ]] || fail "$prefix/bin/morvane-patch is not executable"

    local icon size width height
    for icon in "$prefix"/share/icons/hicolor/*/apps/morvane-patch.png; do
        size=$(basename "$(dirname "$(dirname "$icon")")")
        # A PNG's width and height are the big-endian words at bytes 16 and 20 of its header.
        [[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" == "89504e470d0a1a0a" ]] ||
            fail "$icon is not a PNG file"
        width=$(od -An -j16 -N4 -tu1 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
        height=$(od -An -j20 -N4 -tu1 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
        [[ "${width}x${height}" == "$size" ]] || fail "$icon is ${width}x${height}, its folder says $size"
    done

    local entry=$prefix/share/applications/morvane-patch.desktop
    grep -qx 'Name=Morvane 4.8 Patch' "$entry" || fail "$entry: the name is not \"Morvane 4.8 Patch\""
    grep -qx 'Categories=.*Utility;.*' "$entry" || fail "$entry: Categories lacks Utility"
    local exec iconName
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [[ -x "$prefix/bin/$exec" ]] || fail "$entry: Exec names \"$exec\", which is not in $prefix/bin"
    iconName=$(sed -n 's/^Icon=//p' "$entry")
    [[ -f "$prefix/share/icons/hicolor/48x48/apps/$iconName.png" ]] ||
        fail "$entry: Icon names \"$iconName\", which the theme folders do not hold"
    grep -q "<launchable type=\"desktop-id\">morvane-patch.desktop</launchable>" \
        "$prefix/share/metainfo/morvane-patch.metainfo.xml" ||
        fail "the metainfo does not launch morvane-patch.desktop"
}
