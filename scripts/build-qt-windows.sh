#!/usr/bin/env bash
# Builds Qt 6 (Core, Gui, Widgets and Test) for 64-bit Windows from Debian's own qtbase source,
# with Debian's MinGW-w64, and installs it into a cache folder outside the repository. Debian
# ships no Qt for MinGW, so this is the one long step of a first build (25 to 35 minutes on two
# cores); later runs find the cache and return at once.
#
# Prints the install folder as its last line. The folder is keyed by the source version and by a
# hash of the configure options and the toolchain file, so a change to either builds afresh.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
cd "$(repo_root)"

toolchain="$PWD/cmake/mingw-w64-x86_64.cmake"
# Root's cache is in /var/cache, where the unprivileged user that runs the Windows tests can
# read the DLLs; anyone else's is in their own cache folder.
if ((EUID == 0)); then
    default_cache=/var/cache/morvane-patch/qt-windows
else
    default_cache="${XDG_CACHE_HOME:-$HOME/.cache}/morvane-patch/qt-windows"
fi
cache_root="${MORVANE_QT_CACHE:-$default_cache}"

# Only what the program and its window tests use. OpenGL is turned off as an input, not as a
# feature: the feature alone leaves "dynamic OpenGL" on, which the Windows platform plugin then
# fails to compile. The two last flags are needed with Debian's source: it lacks wintab.h, and
# qwindows.dll fails to link DirectWrite 3 without Direct2D. FreeType, from Qt's own copy, is
# the font engine the program asks for on Windows: Wine's GDI and DirectWrite drew the built-in
# Tahoma with strokes missing at every size but the largest.
qt_options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF
    -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_gif=OFF -DFEATURE_direct2d=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_directwrite3=OFF
)

step() {
    printf '[qt-windows %(%H:%M:%S)T] %s\n' -1 "$*" >&2
}

ensure_deb_src() {
    if apt-get source --print-uris qt6-base >/dev/null 2>&1; then
        return 0
    fi
    # The source comes from the same Debian mirror the machine installs from: every Debian
    # entry is repeated as a deb-src entry, in its own file's format.
    step "adding deb-src entries for this machine's Debian mirror"
    if [[ -f /etc/apt/sources.list ]]; then
        sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list |
            as_root tee /etc/apt/sources.list.d/morvane-patch-src.list >/dev/null
    fi
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file && $file != */morvane-patch-src.sources ]] || continue
        awk -v RS= -v ORS='\n\n' '
            /(^|\n)Types:[^\n]*(^| )deb( |\n|$)/ && /(^|\n)URIs:[^\n]*debian/ {
                sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
            }' "$file"
    done | as_root tee /etc/apt/sources.list.d/morvane-patch-src.sources >/dev/null
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
}

source_version() {
    apt-cache showsrc qt6-base | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

work=
cleanup() {
    if [[ -n $work ]]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT

main() {
    install_packages "${windows_packages[@]}"
    ensure_deb_src
    local version key install
    version=$(source_version)
    key=$(printf '%s\n' "${qt_options[@]}" | cat - "$toolchain" | sha256sum | cut -c 1-12)
    install="$cache_root/$version-$key"
    if [[ ${1:-} == --where ]]; then
        echo "$install"
        return 0
    fi
    if [[ -f $install/.complete ]]; then
        step "reusing Qt $version for Windows in $install"
        echo "$install"
        return 0
    fi

    work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-qt-windows.XXXXXX")
    step "fetching the qtbase source $version from Debian"
    (cd "$work" && apt-get source -qq "qt6-base=$version" >/dev/null)
    local source
    source=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

    step "configuring Qt for Windows (MinGW-w64) into $install"
    rm -rf "$install"
    cmake -S "$source" -B "$work/build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$install" \
        "${qt_options[@]}" >"$work/configure.log" 2>&1 ||
        { tail -n 60 "$work/configure.log" >&2; return 1; }

    step "building Qt for Windows: the long step, 25 to 35 minutes on two cores"
    # Ninja's own progress line, one in every 200 steps, so that a log shows it moving.
    NINJA_STATUS='[%f/%t %es] ' cmake --build "$work/build" 2>&1 |
        awk '/^FAILED|error:/ { print; fflush(); next } /^\[[0-9]+\/[0-9]+/ { split($1, a, "[[/]"); if (a[2] % 200 == 0) { print "  " $1 " " $2; fflush() } }' >&2
    ((PIPESTATUS[0] == 0)) || { step "the Qt build failed"; return 1; }

    step "installing"
    cmake --install "$work/build" >/dev/null
    touch "$install/.complete"
    step "Qt $version for Windows is ready: $(du -sh "$install" | cut -f 1) in $install"
    echo "$install"
}

main "$@"
