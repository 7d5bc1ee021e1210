#!/usr/bin/env bash
# Checks that the Debian package and the Windows zip are reproducible: two fresh clones of the
# checked-out commit, in two folders of different names and depths, each build the .deb (preset
# `program`, cpack -G DEB) and the zip (preset `windows`, target windows_zip), under different
# umasks and time zones, minutes apart; the two .deb files and the two zips must be the same
# bytes. Prints the sha256 of all four. Where a pair differs, diffoscope (Debian's, installed
# here without its long list of recommended tools) says where, and the script exits 1.
#
# Takes long (four builds, and Qt for Windows the first time): it is not part of the test
# command. MORVANE_REPRODUCIBLE_KEEP=1 keeps the clones for a look inside.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
repo=$(repo_root)
cd "$repo"
install_packages "${program_packages[@]}" dpkg-dev file "${windows_packages[@]}"

MORVANE_QT_WINDOWS=$(bash scripts/build-qt-windows.sh | tail -n 1)
export MORVANE_QT_WINDOWS
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
# Each clone compiles every object itself: objects the test command cached would make the two
# builds the same whatever the compiler does.
unset CMAKE_CXX_COMPILER_LAUNCHER
export CCACHE_DISABLE=1
commit=$(git rev-parse HEAD)
version=$(sed -n 's/^project(morvane_patch VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
deb_name=morvane-patch_${version}_$(dpkg --print-architecture).deb
zip_name=morvane-patch-${version}-windows-x64.zip

work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-reproducible.XXXXXX")
# shellcheck disable=SC2317 # called by the trap below
clean_up() {
    if [[ ${MORVANE_REPRODUCIBLE_KEEP:-0} == 1 ]]; then
        echo "The clones are kept in $work"
    else
        rm -rf "$work"
    fi
}
trap clean_up EXIT

# Clones the commit into FOLDER and builds both packages there, with the given umask and TZ;
# copies them to OUT.
build_clone() {
    local folder=$1 out=$2 mask=$3 zone=$4
    echo "== $folder (umask $mask, TZ=$zone) =="
    mkdir -p "$out"
    (
        umask "$mask"
        export TZ=$zone
        git clone --quiet --no-local "$repo" "$folder"
        git -C "$folder" checkout --quiet --detach "$commit"
        cd "$folder"
        configure_and_build program >"$out/program.log" 2>&1 || {
            tail -n 30 "$out/program.log"
            exit 1
        }
        (cd build/program && cpack -G DEB) >"$out/cpack.log" 2>&1 || {
            cat "$out/cpack.log"
            exit 1
        }
        configure_and_build windows --target windows_zip >"$out/windows.log" 2>&1 || {
            tail -n 30 "$out/windows.log"
            exit 1
        }
        cp "build/program/$deb_name" "build/windows/$zip_name" "$out/"
    )
}

start=$SECONDS
build_clone "$work/a/morvane-patch" "$work/out-a" 022 UTC
build_clone "$work/second/clone/of/morvane" "$work/out-b" 002 Pacific/Kiritimati
echo "== built both in $((SECONDS - start)) s =="

(cd "$work" && sha256sum "out-a/$deb_name" "out-b/$deb_name" "out-a/$zip_name" "out-b/$zip_name")

differing=()
for name in "$deb_name" "$zip_name"; do
    if ! cmp -s "$work/out-a/$name" "$work/out-b/$name"; then
        differing+=("$name")
    fi
done
if ((${#differing[@]} == 0)); then
    echo "reproducible: both clones made the same $deb_name and $zip_name"
    exit 0
fi

if ! command -v diffoscope >/dev/null; then
    echo "Installing: diffoscope-minimal"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        diffoscope-minimal xz-utils unzip
fi
for name in "${differing[@]}"; do
    echo "== NOT reproducible: $name differs; diffoscope says =="
    (cd "$work" && diffoscope --text - --max-text-report-size 400000 "out-a/$name" "out-b/$name") || true
done
exit 1
