"""Reads the running program over AT-SPI, as a screen reader does. Run by accessibility_linux.sh.

names <program>:         the controls' names, and the lists' current entries kept as values.
status <program> <data>: a patch run driven by the reader's own actions, every status heard.

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
STATUSES = ["Loading Patch Data...", "Patching...", "Creating backup file...",
            "Backup file created. Patching...", "Writing updated file...",
            "File patched successfully!", "Applying version changes...",
            "Version changes applied."]


class Failure(Exception):
    pass


def wait_for(what, find, seconds=20):
    """Polls find until it gives something, letting the listener's events in meanwhile."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = find()
        except GLib.Error:
            found = None
        if found:
            return found
        pause = time.monotonic() + 0.1
        while time.monotonic() < pause:
            if not GLib.MainContext.default().iteration(False):
                time.sleep(0.01)
    raise Failure(f"timed out waiting for {what}")


def children(node):
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c]


def find(node, role, name=None, depth=6):
    for child in children(node):
        if child.get_role_name() == role and name in (None, child.get_name()):
            return child
        found = find(child, role, name, depth - 1) if depth > 1 else None
        if found:
            return found
    return None


def named_child(node, name):
    return next((c for c in children(node) if c.get_name() == name), None)


def press(node, action="Press"):
    names = [node.get_action_name(i) for i in range(node.get_n_actions())]
    if action not in names:
        raise Failure(f"{node.get_role_name()} {node.get_name()!r} cannot {action}: {names}")
    node.do_action(names.index(action))


class Session:
    def __init__(self, program):
        self.program_path = os.path.abspath(program)
        self.work = tempfile.mkdtemp(prefix="mpa11y-", dir="/tmp")
        self.program = None

    def start(self):
        # The X server is the one accessibility_linux.sh started.
        display = os.environ.get("DISPLAY")
        if not display:
            raise Failure("no X server: run this through accessibility_linux.sh")
        # What a screen reader does when it starts: tells the desktop that one is listening.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                        "string:org.a11y.Status", "string:ScreenReaderEnabled",
                        "variant:boolean:true"],
                       check=True, stdout=subprocess.DEVNULL, timeout=20)
        home, runtime = os.path.join(self.work, "home"), os.path.join(self.work, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_DATA_HOME")}
        env.update(DISPLAY=display, HOME=home, XDG_RUNTIME_DIR=runtime)
        self.program = subprocess.Popen([self.program_path], env=env, cwd="/",
                                        stdout=subprocess.DEVNULL)

    def main_window(self):
        def app():
            if self.program.poll() is not None:
                raise Failure("the program ended")
            return next((a for a in children(Atspi.get_desktop(0))
                         if a.get_process_id() == self.program.pid), None)
        self.app = wait_for("the program on the accessibility bus", app)
        return wait_for("the main window", lambda: named_child(self.app, TITLE))

    def stop(self):
        if self.program is not None and self.program.poll() is None:
            self.program.terminate()
            try:
                self.program.wait(5)
            except subprocess.TimeoutExpired:
                self.program.kill()
                self.program.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def check_names(session):
    session.start()
    main = session.main_window()

    def expect(role, name):
        return wait_for(f"{role} {name!r}", lambda: find(main, role, name), seconds=5)

    problems = []
    # A combo box's value is what its text says; the drive shown must stay there.
    drive = expect("combo box", "Drive").get_text(0, -1)
    if drive != "/":
        problems.append(f"the drive list's text is {drive!r}, not the drive /")
    folders = expect("tree", "Folders")
    roles = sorted({child.get_role_name() for child in children(folders)})
    if any("header" in role for role in roles):
        problems.append(f"the folder list announces a header: {roles}")
    if folders.get_child_at_index(0).get_name() != "/":
        problems.append("the folder list's first row is not the drive's root")
    expect("list", "Scripts")
    if expect("status bar", "Status").get_text(0, -1) != "":
        problems.append("the status line is not empty at start-up")

    press(expect("push button", "Patch Info..."))
    info = wait_for("the information window", lambda: named_child(session.app, "Patch Information"))
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
    # Listening before the program starts, as a screen reader already running would.
    listener = Atspi.EventListener.new(lambda event: heard.append((event.source, event.any_data)))
    listener.register("object:text-changed:insert")
    session.start()
    main = session.main_window()
    status = wait_for("the status line", lambda: find(main, "status bar", "Status"))
    folders = wait_for("the folder list", lambda: find(main, "tree", "Folders"))
    for folder in ("tmp", os.path.basename(session.work), "scripts"):
        press(wait_for(f"the folder {folder}", lambda: named_child(folders, folder)))
    files = find(main, "list", "Scripts")
    press(wait_for("the script", lambda: named_child(files, "morvane.mrc")), "Toggle")
    press(find(main, "push button", "Patch"))

    # The run asks twice and then tells; each box is answered with the reader's own action.
    answered = []
    for answer in ("Yes", "Yes", "OK"):
        def new_box():
            for box in children(session.app):
                if box.get_name() == TITLE and box != main and all(box != a for a in answered):
                    button = find(box, "push button", answer)
                    if button:
                        return box, button
            return None
        box, button = wait_for(f"a box with {answer}", new_box)
        answered.append(box)
        press(button)
        wait_for("the box to close", lambda: all(w != box for w in children(session.app)))

    wait_for("the last status", lambda: any(t == STATUSES[-1] for _, t in heard), seconds=10)
    said = [text for source, text in heard if source == status]
    if said != STATUSES:
        raise Failure(f"heard {said}, expected {STATUSES}")
    with open(os.path.join(scripts, "morvane.mrc"), "rb") as patched, \
            open(os.path.join(data, "morvane.mrc.patched"), "rb") as expected:
        if patched.read() != expected.read():
            raise Failure("the run heard did not patch the script as expected")
    print("PASS: heard " + " / ".join(said))


def main():
    # A timeout's TERM still ends the program and the X server.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    session = Session(sys.argv[2])
    try:
        if sys.argv[1] == "names":
            check_names(session)
        else:
            check_status(session, sys.argv[3])
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        session.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
