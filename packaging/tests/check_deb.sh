#!/usr/bin/env bash
# Looks inside the Debian package: its control fields, the files it puts in place, and the program
# taken out of it, which must start and stay up with the libraries and plug-ins the system has.
set -euo pipefail
out=$1 expected=$2 version=$3
source "$(dirname "$0")/check_tree.sh"
arch=$(dpkg --print-architecture)
deb=$out/morvane-patch_${version}_${arch}.deb
[[ -f "$deb" ]] || fail "$deb is missing"

field() { dpkg-deb --field "$deb" "$1"; }
[[ "$(field Package)" == morvane-patch ]] || fail "Package is \"$(field Package)\""
[[ "$(field Version)" == "$version" ]] || fail "Version is \"$(field Version)\", not $version"
[[ "$(field Architecture)" == "$arch" ]] || fail "Architecture is \"$(field Architecture)\""
depends=$(field Depends)
# The libraries the program links, as dpkg-shlibdeps names their packages.
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libmount1 libyaml-0-2; do
    [[ ",$depends," =~ ,\ ?"$package"[\ ,\(] ]] ||
        fail "Depends does not name $package: $depends"
done

# apt must accept the file as it is, dependencies and all ("apt install ./morvane-patch_...deb");
# the simulation resolves them against this system without changing it.
if command -v apt-get >/dev/null; then
    apt-get install --simulate "$(realpath "$deb")" >"$out/apt.log" 2>&1 || {
        cat "$out/apt.log" >&2
        fail "apt would not install $deb"
    }
    grep -q '^Inst morvane-patch ' "$out/apt.log" || {
        cat "$out/apt.log" >&2
        fail "apt's simulation does not install morvane-patch"
    }
fi

# Every entry of the data part lies under /usr, and the files are the installed tree's.
listing=$(dpkg-deb --contents "$deb" | awk '{print $6}')
outside=$(echo "$listing" | grep -v -e '^\./$' -e '^\./usr/' || true)
[[ -z "$outside" ]] || fail "the package puts files outside /usr: $outside"

root=$out/extracted
rm -rf "$root"
dpkg-deb -x "$deb" "$root"
check_tree "$root/usr" "$expected"

missing=$(ldd "$root/usr/bin/morvane-patch" | grep 'not found' || true)
[[ -z "$missing" ]] || fail "the packaged program lacks libraries: $missing"

# Started from the unpacked package, the program loads its pictures and fonts from itself and the
# platform plug-in from the system; a failure would end it or be written to its error output.
home=$out/home runtime=$out/runtime
mkdir -p "$home" "$runtime"
chmod 700 "$runtime"
status=0
env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
    timeout 4 "$root/usr/bin/morvane-patch" >"$out/stdout" 2>"$out/stderr" || status=$?
[[ $status -eq 124 ]] || {
    cat "$out/stderr" >&2
    fail "the packaged program ended by itself with status $status instead of waiting for the user"
}
[[ ! -s "$out/stderr" ]] || {
    cat "$out/stderr" >&2
    fail "the packaged program wrote warnings at start-up"
}
echo "package $deb holds the program and its desktop files, and the program starts"
