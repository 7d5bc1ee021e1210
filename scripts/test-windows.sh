#!/usr/bin/env bash
# Runs the tests of the Windows build (build/windows, made by build-windows.sh) under Wine.
#
# They run as a user whom file permissions bind: Wine run by root ignores the read-only
# attribute, so several tests would prove nothing. Run as root, the script makes the system user
# morvane-test (once) and runs them as that user; run as anyone else, it runs them as that user.
# Wine's own processes live from the first test to the end of the script and no longer.
source "$(dirname "${BASH_SOURCE[0]}")/setup-common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
cd "$(repo_root)"
install_packages "${windows_packages[@]}" xvfb

readonly test_user=morvane-test
build="$PWD/build/windows"
started=$SECONDS

say() {
    printf '[test-windows %(%H:%M:%S)T] %s\n' -1 "$*" >&2
}

fail() {
    say "$*"
    exit 1
}

[[ -f $build/CMakeCache.txt ]] ||
    fail "no Windows build in $build: run scripts/build-windows.sh first"

# The Qt the tests were linked against: the one given, or the one the build was configured with.
qt="${MORVANE_QT_WINDOWS:-$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")}"
[[ -d $qt/bin && -d $qt/plugins ]] || fail "no Qt for Windows in '$qt'"

if ((EUID == 0)); then
    if ! id -u "$test_user" >/dev/null 2>&1; then
        say "making the system user $test_user, who runs the Windows tests"
        useradd --system --create-home --home-dir "/var/lib/$test_user" \
            --shell /usr/sbin/nologin --comment "Morvane Patch Windows tests" "$test_user"
    fi
    # The tests write CTest's records and their discovered test lists into the build folder;
    # it is given back to its owner at the end, so that the next build is not refused.
    build_owner=$(stat -c %u:%g "$build")
    chown -R "$test_user:" "$build"
    # The test user must reach the repository, wherever it was cloned (under /root, say): each
    # folder above it that the user cannot pass through lets that user alone through, by an ACL
    # entry that gives no right to list or read it.
    folder=$PWD
    while [[ $folder != / ]]; do
        if ! runuser -u "$test_user" -- test -x "$folder"; then
            setfacl -m "u:$test_user:x" "$folder"
        fi
        folder=$(dirname "$folder")
    done
    tester=$test_user
    home=$(getent passwd "$test_user" | cut -d: -f6)
    run_as=(runuser -u "$test_user" --)
else
    tester=$(id -un)
    home=$HOME
    run_as=()
fi

# A Unix path as Wine's drive Z: shows it.
windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# The tests find Qt's DLLs and MinGW's runtime DLLs on WINEPATH; Qt finds its plugins beside its
# own DLLs.
mingw_dlls=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
winepath=$(windows_path "$qt/bin")
for folder in "${mingw_dlls[@]}"; do
    [[ -d $folder ]] || fail "MinGW-w64's runtime is not in $folder"
    winepath+=";$(windows_path "$folder")"
done

environment=(
    HOME="$home" USER="$tester" LOGNAME="$tester"
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8
    WINEPREFIX="$home/.wine-morvane-tests"
    WINEDEBUG=-all
    # No offers to install Mono or Gecko (no test needs .NET or a web view), and no menu entries
    # made in the test user's desktop.
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    WINEPATH="$winepath"
    # Without a console, Qt sends a test's report and its warnings to the debugger alone, and a
    # failing window test would say nothing in CTest's log. Wine passes this on as QT_...; a
    # variable named QT_... it keeps from Windows programs.
    WINEQT_FORCE_STDERR_LOGGING=1
)
as_tester() {
    "${run_as[@]}" env -i "${environment[@]}" "$@"
}

xvfb_folder=
finish() {
    local status=$?
    # Ends every Wine process of the prefix, then waits until the server itself is gone.
    as_tester wineserver -k >/dev/null 2>&1 || true
    as_tester wineserver -w >/dev/null 2>&1 || true
    stop_xvfb
    rm -rf "$xvfb_folder"
    if [[ -n ${build_owner:-} ]]; then
        chown -R "$build_owner" "$build"
    fi
    say "done in $((SECONDS - started)) s"
    exit "$status"
}
trap finish EXIT

# Wine draws the window tests' windows in an X server of their own.
xvfb_folder=$(mktemp -d)
start_xvfb "$xvfb_folder" 1280x1024x24 || fail "no X server for the window tests"
environment+=(DISPLAY="$DISPLAY")

# One server for the whole run, started here rather than by the first test: the services Wine
# starts with it keep their output open, and CTest would wait on them for ever.
# The server is keyed by the prefix folder, so that folder comes first.
if [[ ! -f $home/.wine-morvane-tests/system.reg ]]; then
    say "making the Wine prefix $home/.wine-morvane-tests"
    as_tester mkdir -p "$home/.wine-morvane-tests"
fi
# A server an interrupted run left for the prefix is ended first: -p cannot start a second one.
as_tester wineserver -k >/dev/null 2>&1 || true
as_tester wineserver -w >/dev/null 2>&1 || true
as_tester wineserver -p </dev/null >/dev/null 2>&1 || fail "the Wine server did not start"
# Makes the prefix the first time, brings it up to date after a Wine upgrade, and starts Wine's
# services before the tests, outside CTest's pipes.
as_tester wineboot -i </dev/null >/dev/null 2>&1 || fail "wineboot could not make the prefix"
# Wine shows the tests' windows inside one desktop window of its own, as Windows itself would,
# rather than each as a window of the X server. With no window manager there, Wine waited about
# two seconds on every window it showed or hid, for an answer only a window manager gives: the
# main window's tests took 150 s instead of 12.
as_tester wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
    >/dev/null 2>&1 || fail "could not give Wine its own desktop"
as_tester wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f \
    >/dev/null 2>&1 || fail "could not give Wine's desktop its size"
say "Wine is up after $((SECONDS - started)) s; running the tests"

# The preset runs two tests at a time, one per core, each with its deadline.
as_tester ctest --preset windows "$@" </dev/null
