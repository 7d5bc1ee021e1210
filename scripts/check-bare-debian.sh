#!/usr/bin/env bash
# Runs the README's two commands on a bare Debian 12, the way a newcomer's fresh machine would:
# a minimal bookworm root made with debootstrap from this machine's own Debian mirror, a fresh
# clone of this repository's checked-out commit inside it, then with chroot `bash
# scripts/start.sh`, timed until its window shows on an X server of this machine's, and `bash
# scripts/test.sh`. Packages installed by hand on this machine cannot hide a missing install step.
#
# Needs root (debootstrap, chroot and mounts). Takes a while: it is not part of the test command.
# Exits with the test command's status. MORVANE_BARE_KEEP=1 keeps the root for a look inside.

set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if ((EUID != 0)); then
    echo "check-bare-debian.sh must run as root (debootstrap and chroot need it)." >&2
    exit 2
fi

# debootstrap makes the root; the window of start.sh is looked for on this machine's Xvfb.
needed=()
for tool in debootstrap:debootstrap Xvfb:xvfb xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || needed+=("${tool#*:}")
done
if ((${#needed[@]})); then
    echo "Installing: ${needed[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${needed[@]}"
fi

# The machine's own mirror: the first Debian archive its apt sources name (deb822 or one-line).
own_mirror() {
    local uri
    uri=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    if [[ -z $uri ]]; then
        uri=$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}
mirror=$(own_mirror)
security=$(awk '/^URIs:/ && $2 ~ /security/ {print $2; exit}' \
    /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
security=${security:-${mirror%/debian}/debian-security}

root=$(mktemp -d "${TMPDIR:-/tmp}/morvane-bare-debian.XXXXXX")
# The root's own folder is the chroot's "/": as mktemp leaves it (0700), no user but root could
# reach anything, and the tests that run as another user would fail for that alone.
chmod 755 "$root"
mounted=()
program_pid=
xvfb_folder=

# shellcheck disable=SC2317 # called by the trap below
clean_up() {
    local point
    if [[ -n $program_pid ]]; then
        # start.sh and the program it became: the whole group, which setsid made.
        kill -TERM -- "-$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    stop_xvfb
    [[ -z $xvfb_folder ]] || rm -rf "$xvfb_folder"
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        point=${mounted[i]}
        umount -l "$point" 2>/dev/null || true
    done
    if [[ ${MORVANE_BARE_KEEP:-0} == 1 ]]; then
        echo "The root is kept in $root"
    else
        rm -rf --one-file-system "$root"
    fi
}
trap clean_up EXIT

mount_in_root() {
    local point="$root$1"
    shift
    mkdir -p "$point"
    mount "$@" "$point"
    mounted+=("$point")
}

echo "== debootstrap --variant=minbase bookworm from $mirror =="
debootstrap --variant=minbase bookworm "$root" "$mirror"

# The same archives a Debian 12 machine has by default, from the same mirror.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf"

mount_in_root /proc -t proc proc
mount_in_root /sys -t sysfs sysfs
mount_in_root /dev --bind /dev
mount_in_root /dev/pts --bind /dev/pts
mount_in_root /dev/shm -t tmpfs tmpfs
mount_in_root /tmp -t tmpfs tmpfs

# What is committed, not what lies around in the work tree: the same as CI's fresh clone.
echo "== cloning $(git -C "$repo" rev-parse --short HEAD) =="
git clone --quiet --no-local "$repo" "$root/root/repo"
git -C "$root/root/repo" checkout --quiet "$(git -C "$repo" rev-parse HEAD)"

# What a login gives the commands in the root, and nothing of this session's environment.
root_env=(/usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)

# The program's window, shown on an X server of this machine's whose socket the root shares.
echo "== bash scripts/start.sh in the bare root, until its window shows =="
xvfb_folder=$(mktemp -d)
start_xvfb "$xvfb_folder" 1024x768x24
mount_in_root /tmp/.X11-unix --bind /tmp/.X11-unix
start=$SECONDS
# In a process group of its own, so that the program and whatever start.sh still runs end
# together.
setsid chroot "$root" "${root_env[@]}" DISPLAY="$DISPLAY" \
    bash -c 'cd /root/repo && exec bash scripts/start.sh' >"$xvfb_folder/start.log" 2>&1 &
program_pid=$!
window=
# Installing and building take minutes; an hour is long enough for a slow mirror.
while ((SECONDS - start < 3600)) && kill -0 "$program_pid" 2>/dev/null; do
    if window=$(xdotool search --onlyvisible --name '^Morvane 4\.8 Patch$' 2>/dev/null); then
        break
    fi
    sleep 1
done
if [[ -z $window ]]; then
    tail -n 30 "$xvfb_folder/start.log"
    echo "== start.sh showed no window after $((SECONDS - start)) s =="
    exit 1
fi
echo "== start.sh showed the program's window $((SECONDS - start)) s after it began =="
kill -TERM -- "-$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true
program_pid=
# The tests start X servers of their own in the root. Their lock files are in the root's /tmp,
# not this machine's, so with the socket folder still shared they could take a display of this
# machine's and cut its clients off.
umount -l "$root/tmp/.X11-unix"
stop_xvfb

echo "== bash scripts/test.sh in the bare root =="
status=0
start=$SECONDS
chroot "$root" "${root_env[@]}" bash -c 'cd /root/repo && bash scripts/test.sh' || status=$?
echo "== the test command ended with status $status after $((SECONDS - start)) s =="
exit "$status"
