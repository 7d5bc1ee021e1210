"""Reads the running program the way a screen reader does, over AT-SPI.

Usage (inside a D-Bus session of its own, see accessibility.sh):
    accessibility.py names  <morvane-patch>
    accessibility.py status <morvane-patch> <data folder>

names: the lists, the status line and the information window's text are named for what they
are, and the lists' current entries are not taken for their names.
status: a patch run, driven through the screen reader's own actions, is heard: every status the
run shows reaches the listener as it happens, carrying its text.

Starts its own X server and the program; every wait has a deadline, and both are killed at the
end whatever happens.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TITLE = "Morvane 4.8 Patch"
STATUSES = [
    "Loading Patch Data...",
    "Patching...",
    "Creating backup file...",
    "Backup file created. Patching...",
    "Writing updated file...",
    "File patched successfully!",
    "Applying version changes...",
    "Version changes applied.",
]


class Failure(Exception):
    pass


def pump(seconds=0.05):
    """Lets the listener's events in while waiting."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        if not context.iteration(False):
            time.sleep(0.01)


def wait_for(what, find, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = find()
        except GLib.Error:
            found = None
        if found:
            return found
        pump(0.1)
    raise Failure(f"timed out waiting for {what}")


def children(node):
    return [node.get_child_at_index(i) for i in range(node.get_child_count())]


def descendants(node, depth=6):
    for child in children(node):
        if child is None:
            continue
        yield child
        if depth > 1:
            yield from descendants(child, depth - 1)


def find(node, role, name=None):
    for child in descendants(node):
        if child.get_role_name() == role and (name is None or child.get_name() == name):
            return child
    return None


def press(node, action="Press"):
    count = node.get_n_actions()
    names = [node.get_action_name(i) for i in range(count)]
    for i, candidate in enumerate(names):
        if candidate.lower() == action.lower():
            node.do_action(i)
            return
    raise Failure(f"{node.get_role_name()} {node.get_name()!r} has no action {action} ({names})")


class Session:
    def __init__(self, program):
        self.work = tempfile.mkdtemp(prefix="mpa11y-", dir="/tmp")
        self.xvfb = self.program = None
        self.program_path = os.path.abspath(program)

    def start(self):
        display_pipe = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(display_pipe[1]), "-screen", "0", "800x600x24",
             "-nolisten", "tcp"],
            pass_fds=(display_pipe[1],), stderr=subprocess.DEVNULL)
        os.close(display_pipe[1])
        with os.fdopen(display_pipe[0]) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise Failure("Xvfb did not start")
        # What a screen reader does when it starts: tells the desktop that one is listening.
        subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
             "string:ScreenReaderEnabled", "variant:boolean:true"],
            check=True, stdout=subprocess.DEVNULL, timeout=20)
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_DATA_HOME")}
        env.update(DISPLAY=f":{display}", HOME=home, XDG_RUNTIME_DIR=runtime)
        self.program = subprocess.Popen([self.program_path], env=env, cwd="/",
                                        stdout=subprocess.DEVNULL)

    def application(self):
        def found():
            if self.program.poll() is not None:
                raise Failure("the program ended")
            desktop = Atspi.get_desktop(0)
            for app in children(desktop):
                if app is not None and app.get_process_id() == self.program.pid:
                    return app
            return None
        return wait_for("the program on the accessibility bus", found)

    def window(self, app, name):
        return wait_for(f"the window {name!r}",
                        lambda: next((w for w in children(app) if w.get_name() == name), None))

    def stop(self):
        for process in (self.program, self.xvfb):
            if process is None or process.poll() is not None:
                continue
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def check_names(session):
    app = session.application()
    main = session.window(app, TITLE)
    problems = []

    def expect(role, name):
        return wait_for(f"{role} {name!r}", lambda: find(main, role, name), seconds=5)

    # A combo box's value is what its text says; the drive shown must stay there.
    drive = expect("combo box", "Drive")
    if drive.get_text(0, -1) != "/":
        problems.append(f"the drive list's text is {drive.get_text(0, -1)!r}, not the drive /")

    folders = expect("tree", "Folders")
    roles = {child.get_role_name() for child in children(folders)}
    if any("header" in role for role in roles):
        problems.append(f"the folder list announces a header: {sorted(roles)}")
    first = folders.get_child_at_index(0)
    if first is None or first.get_name() != "/":
        problems.append("the folder list's first row is not the drive's root")

    expect("list", "Scripts")
    status = expect("status bar", "Status")
    if status.get_text(0, -1) != "":
        problems.append("the status line is not empty at start-up")

    press(expect("push button", "Patch Info..."))
    info = session.window(app, "Patch Information")
    text = wait_for("the information text", lambda: find(info, "text", "Patch Information"))
    if not text.get_text(0, -1).startswith("The following events are changed:"):
        problems.append("the information text box does not hold the information text")
    if problems:
        raise Failure("; ".join(problems))
    print("PASS: Drive, Folders (no header), Scripts, Status and Patch Information are named")


def check_status(session, data):
    scripts = os.path.join(session.work, "scripts")
    os.makedirs(scripts)
    shutil.copy(os.path.join(data, "morvane.mrc"), scripts)
    heard = []

    def on_insert(event):
        heard.append((event.source, event.any_data))

    # Listening before the program starts, as a screen reader already running would.
    listener = Atspi.EventListener.new(on_insert)
    listener.register("object:text-changed:insert")
    session.start()
    app = session.application()
    main = session.window(app, TITLE)
    status = wait_for("the status line", lambda: find(main, "status bar", "Status"))
    folders = wait_for("the folder list", lambda: find(main, "tree", "Folders"))

    def open_folder(name):
        row = wait_for(f"the folder {name}",
                       lambda: next((c for c in children(folders) if c.get_name() == name), None))
        press(row)

    open_folder("tmp")
    open_folder(os.path.basename(session.work))
    open_folder("scripts")
    files = find(main, "list", "Scripts")
    script = wait_for("morvane.mrc in the file list",
                      lambda: next((c for c in children(files) if c.get_name() == "morvane.mrc"),
                                   None))
    press(script, "Toggle")
    press(find(main, "push button", "Patch"))

    # The run asks twice and then tells; each box is answered with the reader's own action.
    answered = []
    for answer in ("Yes", "Yes", "OK"):
        def new_box():
            for window in children(app):
                if window is None or window.get_name() != TITLE or window == main:
                    continue
                if any(window == done for done in answered):
                    continue
                button = find(window, "push button", answer)
                if button is not None:
                    return window, button
            return None
        box, button = wait_for(f"a box with {answer}", new_box)
        answered.append(box)
        press(button)
        wait_for("the box to close", lambda: all(w != box for w in children(app)), seconds=10)

    wait_for("the last status", lambda: any(t == STATUSES[-1] for _, t in heard), seconds=10)
    said = [text for source, text in heard if source == status]
    if said != STATUSES:
        raise Failure(f"heard {said}, expected {STATUSES}")
    with open(os.path.join(scripts, "morvane.mrc"), "rb") as patched, \
            open(os.path.join(data, "morvane.mrc.patched"), "rb") as expected:
        if patched.read() != expected.read():
            raise Failure("the run heard did not patch the script as expected")
    listener.deregister("object:text-changed:insert")
    print("PASS: heard " + " / ".join(said))


def main():
    # A timeout's TERM still ends the program and the X server.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    mode, program = sys.argv[1], sys.argv[2]
    session = Session(program)
    try:
        if mode == "names":
            session.start()
            check_names(session)
        elif mode == "status":
            check_status(session, sys.argv[3])
        else:
            raise Failure(f"unknown mode {mode}")
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        session.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
