#!/usr/bin/env bash
# The Windows zip holds exactly what the program needs to run and the notices of what it
# carries: a file more is a file nobody vouched for, a file less is a program that does not
# start on a machine without Qt. Everything lies in the one folder named like the zip, so that
# unpacking it "here" puts a single folder among the user's files.
set -euo pipefail
zip=$1 folder=$2
files='COPYRIGHT.txt
GPL-3.txt
LGPL-2.1.txt
LGPL-3.txt
NOTICE-fonts.txt
Qt6Core.dll
Qt6Gui.dll
Qt6Widgets.dll
libgcc_s_seh-1.dll
libstdc++-6.dll
libwinpthread-1.dll
morvane-patch.exe
platforms/qwindows.dll
styles/qwindowsvistastyle.dll'
expected=$(while IFS= read -r file; do printf '%s/%s\n' "$folder" "$file"; done <<<"$files")
actual=$(unzip -Z1 "$zip" | LC_ALL=C sort)
if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: $zip holds something else than expected:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2
    exit 1
fi
# Every DLL a file in the zip imports is in the zip or is part of Windows itself.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unzip -q "$zip" -d "$tmp"
missing=0
while read -r file; do
    while read -r dll; do
        lower=${dll,,}
        if [[ -z $(find "$tmp" -iname "$dll" -print -quit) ]] &&
            ! [[ $lower =~ ^(kernel32|user32|gdi32|advapi32|shell32|shcore|ole32|oleaut32|comdlg32|imm32|winmm|ws2_32|version|dwmapi|uxtheme|shlwapi|netapi32|userenv|wtsapi32|mpr|msvcrt|authz|d3d9|d3d11|dxgi|api-ms-win-.*)\.dll$ ]]; then
            echo "FAIL: $file needs $dll, which is neither in the zip nor part of Windows" >&2
            missing=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$tmp" -iname '*.exe' -o -iname '*.dll')
((missing == 0)) || exit 1
echo "$zip: $(wc -l <<<"$actual") files, every import found"
