# shellcheck shell=bash
# The package lists are read by the scripts that source this file.
# shellcheck disable=SC2034
# Shared by start.sh and test.sh: installs what the build needs and configures a preset.
# Safe to run again: packages already there are not fetched twice, and the build is incremental.

set -euo pipefail

repo_root() {
    cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd
}

# Debian 12 packages; each line names what needs it.
# What building and running the program needs, and nothing more.
program_packages=(
    cmake ninja-build g++ pkg-config # the build
    qt6-base-dev                     # the windows
    libmount-dev                     # the mount table: the drives on Linux
    libyaml-dev                      # Lutris's game files: its Wine prefixes on Linux
    fonts-wine                       # the Tahoma embedded in the program
    python3-fonttools                # adjusts that Tahoma's line spacing as the program is built
)
# What the tests need besides.
test_packages=(
    dpkg-dev file                    # building and inspecting the Debian package (CPack needs file)
    libgtest-dev                     # engine tests
    libbenchmark-dev                 # benchmarks
    libx11-dev time python3          # bench/measure.sh: whole runs and start-up
    clang-14 libclang-rt-14-dev      # fuzzing with libFuzzer, and its sanitizers
    xvfb xauth xdotool x11-apps      # the test that drives the program in a real X server
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi # the tests that read it as a screen reader
    desktop-file-utils appstream     # validators of the desktop entry and metainfo
    shellcheck clang-format git      # scripts/check-style.sh, which checks the files git tracks
    ccache                           # compiles a file once for every clone and preset that has it
)

install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        "${missing[@]}"
}

# The test command builds four presets, in every fresh clone. ccache keeps each object it
# compiles, keyed by the sources, the flags and the compiler, so an unchanged file is compiled
# once per preset for every clone of this machine. Paths inside the clone count relative to its
# root, and -ffile-prefix-map keeps them out of the objects, so a clone elsewhere hits the same
# entries. The cache sits beside the cached Qt for Windows where that folder can be written.
use_compiler_cache() {
    command -v ccache >/dev/null || return 0
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    CCACHE_BASEDIR=$(repo_root)
    export CCACHE_BASEDIR
    if [[ -z ${CCACHE_DIR:-} ]] && mkdir -p /var/cache/morvane-patch/ccache 2>/dev/null &&
        [[ -w /var/cache/morvane-patch/ccache ]]; then
        export CCACHE_DIR=/var/cache/morvane-patch/ccache
    fi
    # Four presets of about 200 objects each, the Windows build's Qt headers among them.
    export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-4G}
}

configure_and_build() {
    local preset=$1
    shift
    cmake --preset "$preset"
    cmake --build --preset "$preset" "$@"
}

# The Windows build: the cross compiler and the source of Qt, and Wine to run its tests.
windows_packages=(
    g++-mingw-w64-x86-64-posix       # the cross compiler, POSIX threads for std::thread
    dpkg-dev                         # apt-get source unpacks the qtbase source with it
    wine wine64                      # runs the Windows tests
    zip unzip                        # the Windows zip, and its test
    acl                              # lets the Windows tests' user reach a clone under /root
)

as_root() {
    if ((EUID != 0)); then
        sudo "$@"
    else
        "$@"
    fi
}
