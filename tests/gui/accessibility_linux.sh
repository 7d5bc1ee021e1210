#!/usr/bin/env bash
# Runs accessibility_linux.py in a D-Bus session of its own, with the accessibility bus that a desktop
# starts for a screen reader, so the program is read over AT-SPI as Orca reads it.
#
# Usage: accessibility_linux.sh names|status <morvane-patch> [data folder]
#
# The session, the accessibility bus and everything the script started end with it; the whole
# run is bounded, below CTest's own timeout.
set -uo pipefail

here=$(dirname "${BASH_SOURCE[0]}")
python=/usr/bin/python3
for tool in Xvfb dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher "$python"; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (packages xvfb, dbus-daemon, dbus-bin, at-spi2-core)"
        exit 77
    fi
done
if ! "$python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null; then
    echo "SKIP: the AT-SPI client library is not installed (package python3-pyatspi)"
    exit 77
fi

source "$here/../../scripts/xvfb.sh"
work=$(mktemp -d) || exit 1
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_xvfb "$work" || exit 1

# Debian's python3-pyatspi belongs to the system's Python, whatever python3 is first on the path.
timeout -k 5 150 dbus-run-session -- \
    "$python" -W ignore::DeprecationWarning "$here/accessibility_linux.py" "$@"
