#!/usr/bin/env bash
# The Windows version record as the build writes it: nothing here compiles it, so its text is
# what can be checked. It must carry the project version, in words and in numbers, the US English
# Unicode translation, the three free entries, none of the entries the program leaves out, and an
# icon that exists.
set -euo pipefail
rc=$1 version=$2
# "1.00" is 1,0,0,0: each dotted part as a number, missing parts zero.
IFS=. read -r -a parts <<<"$version"
numbers=
for i in 0 1 2 3; do
    numbers+="${numbers:+,}$((10#${parts[i]:-0}))"
done
fail() {
    echo "FAIL: $rc: $*" >&2
    exit 1
}
[[ -f "$rc" ]] || fail "missing"
has() { grep -Eq "$1" "$rc" || fail "lacks $2"; }

has "^FILEVERSION $numbers\$" "FILEVERSION $numbers"
has "^PRODUCTVERSION $numbers\$" "PRODUCTVERSION $numbers"
has "VALUE \"FileVersion\", \"$version\"" "FileVersion \"$version\""
has "VALUE \"ProductVersion\", \"$version\"" "ProductVersion \"$version\""
has 'VALUE "ProductName", "Morvane 4\.8 Patch"' 'ProductName "Morvane 4.8 Patch"'
has 'BLOCK "040904b0"' "the US English Unicode string block"
has 'VALUE "Translation", 0x409, 1200' "the US English Unicode translation"
for entry in Comments InternalName OriginalFilename; do
    has "VALUE \"$entry\", \"[^\"]+\"" "a $entry entry"
done
for entry in CompanyName FileDescription LegalCopyright LegalTrademarks; do
    ! grep -q "\"$entry\"" "$rc" || fail "has a $entry entry, which the program leaves out"
done
! grep -q '@' "$rc" || fail "still holds a placeholder"
icon=$(sed -n 's/^IDI_ICON1 ICON "\(.*\)"$/\1/p' "$rc")
[[ -f "$icon" ]] || fail "attaches the icon \"$icon\", which does not exist"
echo "version record $rc carries $version ($numbers)"
