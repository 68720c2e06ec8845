#!/usr/bin/python3
"""Walks the setup wizard the way a blind or keyboard-only user does.

    screen_reader_walk.py MODE MEDIUM DEST PAYLOAD WORKDIR

Starts MEDIUM/setup (current directory WORKDIR) on the display and D-Bus
session of the environment and installs MEDIUM's two-volume archive into DEST:
Welcome, Next, Destination, Browse (the chooser's lists are read and it is
closed), Next, the Installing page (progress and file name are read while the
disk prompt for volume 2 waits), the prompt answered, Finish. Every text is
read through AT-SPI, as a screen reader reads it.

MODE atspi: buttons are pressed through their AT-SPI actions.
MODE keys:  only key presses (xdotool key, sent to whatever window has the
            keyboard): Tab until AT-SPI reports the wanted button focused, then
            Space (Return for Finish); in the chooser Down and Space open the
            sub-folder and Escape closes it; Return answers
            the disk prompt. Nothing is clicked and no window is activated by
            the test, so the program must put the keyboard focus where it
            belongs by itself.

Ends with exit status 0 when the program ended with 0 and DEST holds every
payload file with its bytes; prints what it read and why it failed otherwise.
"""
import os
import subprocess
import sys
import time

import pyatspi

STEP_TIMEOUT = 20  # seconds for any one thing to appear


class Failure(Exception):
    pass


def log(*args):
    print("walk:", *args, flush=True)


def wait_for(what, probe, timeout=STEP_TIMEOUT):
    """Polls probe() until it returns something true; objects that vanish
    while they are looked at count as not there yet."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception:  # noqa: BLE001 - a window closing under the walk
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


def fresh(acc):
    """The object with its cached name and states dropped, so that what is
    read is what the program says now."""
    try:
        acc.clear_cache_single()
    except AttributeError:
        acc.clear_cache()
    return acc


def name(acc):
    return fresh(acc).name or ""


def states(acc):
    return fresh(acc).getState()


def showing(acc):
    return states(acc).contains(pyatspi.STATE_SHOWING)


def descendants(acc, depth=0):
    if depth > 12:
        return
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child, depth + 1)


def find(root, role=None, text=None, prefix=None, visible=True):
    for acc in descendants(root):
        if role is not None and acc.getRole() != role:
            continue
        n = name(acc)
        if text is not None and n != text:
            continue
        if prefix is not None and not n.startswith(prefix):
            continue
        if visible and not showing(acc):
            continue
        return acc
    return None


def texts(root, role=pyatspi.ROLE_LABEL):
    return [name(a) for a in descendants(root) if a.getRole() == role and showing(a)]


def dump(app):
    """What the program shows a screen reader, for a failed walk's log."""
    def show(acc, depth):
        try:
            state = "" if showing(acc) else " (hidden)"
            focus = " (focused)" if states(acc).contains(pyatspi.STATE_FOCUSED) else ""
            print("walk:", "  " * depth + acc.getRoleName(), repr(name(acc)) + state + focus, flush=True)
            for i in range(min(acc.childCount, 40)):
                show(acc.getChildAtIndex(i), depth + 1)
        except Exception as error:  # noqa: BLE001
            print("walk:", "  " * depth + "?", error, flush=True)

    if app is not None:
        show(app, 0)


class Walk:
    def __init__(self, mode, process):
        self.mode = mode
        self.process = process

    def program_pids(self):
        """The started process, and its children: from a medium with a packed
        runtime the launcher becomes the program, which runs the wizard in a
        child while it waits to remove its private folder."""
        pids = {self.process.pid}
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as stat:
                        if int(stat.read().rsplit(")", 1)[1].split()[1]) == self.process.pid:
                            pids.add(int(entry))
                except (OSError, IndexError, ValueError):
                    pass
        return pids

    def check_runtime(self):
        """From a medium with a runtime, what speaks AT-SPI is the runtime's
        (unpacked beside the program in its private folder)."""
        medium = os.path.dirname(self.process.args[0])
        if not os.path.exists(os.path.join(medium, "runtime.pak")):
            return
        app = self.app()
        pid = app.get_process_id() if app is not None else self.process.pid
        runtime = os.path.join(os.path.dirname(os.path.realpath("/proc/%d/exe" % pid)), "runtime", "lib")
        with open("/proc/%d/maps" % pid) as maps:
            loaded = {line.split()[-1] for line in maps if "/" in line}
        for library in ("libQt6DBus.so.6", "libdbus-1.so.3"):
            if os.path.realpath(os.path.join(runtime, library)) not in {os.path.realpath(p) for p in loaded}:
                raise Failure(library + " is not loaded from the medium's runtime")
        planted = os.environ.get("WALK_PLANTED")
        if planted and any(p.startswith(planted + "/") for p in loaded):
            raise Failure("a plugin named by the environment is loaded: " +
                          ", ".join(p for p in loaded if p.startswith(planted + "/")))
        # The windowing system the program chose: Wayland in a session with
        # a Wayland display, X11 otherwise.
        platform = "libqwayland-generic.so" if os.environ.get("WAYLAND_DISPLAY") else "libqxcb.so"
        if not any(os.path.basename(p) == platform for p in loaded):
            raise Failure(platform + " is not loaded")
        log("AT-SPI libraries loaded from", runtime)

    # ---- the program and its windows -------------------------------------
    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        pids = self.program_pids()
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() in pids:
                return app
        return None

    def window(self, caption, containing):
        """The shown top-level window with that caption that holds a button
        named `containing`."""
        app = self.app()
        if app is None:
            return None
        for i in range(app.childCount):
            win = app.getChildAtIndex(i)
            if win is None or name(win) != caption or not showing(win):
                continue
            if find(win, pyatspi.ROLE_PUSH_BUTTON, containing, visible=False):
                return win
        return None

    def wizard(self):
        return wait_for("the wizard", lambda: self.window("Setup", "Cancel"))

    def focused(self):
        """The control that has the keyboard focus, as AT-SPI reports it."""
        app = self.app()
        for i in range(app.childCount):
            win = app.getChildAtIndex(i)
            if win is None or not states(win).contains(pyatspi.STATE_ACTIVE):
                continue
            for acc in descendants(win):
                if acc.getRole() != pyatspi.ROLE_LIST_ITEM and states(acc).contains(pyatspi.STATE_FOCUSED):
                    return acc
        return None

    # ---- pressing buttons ------------------------------------------------
    def check_centred_alike(self, wizard, chooser):
        """The chooser is centred with its frame, as the wizard is: both
        client areas lie the same distance (half the title bar) below the
        screen's centre."""
        screen_height = int(subprocess.run(["xdotool", "getdisplaygeometry"], check=True, capture_output=True,
                                           text=True).stdout.split()[1])

        def below_centre(window):
            _, y, _, height = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return (2 * y + height) / 2 - screen_height / 2

        wizard_offset = wait_for("the wizard's place", lambda: below_centre(wizard) or None)
        chooser_offset = wait_for("the chooser's place", lambda: below_centre(chooser) or None, timeout=5)
        log("Below the screen's centre: wizard", wizard_offset, "chooser", chooser_offset)
        if abs(chooser_offset - wizard_offset) > 1:
            raise Failure("the chooser is not centred as the wizard is (its frame uncounted)")

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True)

    def press(self, window, caption, key="space"):
        button = wait_for(caption, lambda: self.enabled_button(window, caption))
        if self.mode == "atspi":
            action = button.queryAction()
            for i in range(action.nActions):
                if action.getName(i) == "Press":
                    action.doAction(i)
                    return
            raise Failure(caption + " has no Press action")
        self.focus_by_tab(caption)
        self.key(key)

    @staticmethod
    def enabled_button(window, caption):
        button = find(window, pyatspi.ROLE_PUSH_BUTTON, caption)
        return button if button and states(button).contains(pyatspi.STATE_ENABLED) else None

    def focus_by_tab(self, caption, limit=12):
        def focused_name():
            acc = self.focused()
            return acc and (acc.getRole(), name(acc))

        current = wait_for("a focused control (the program did not take the keyboard focus)", focused_name)
        for _ in range(limit):
            if current == (pyatspi.ROLE_PUSH_BUTTON, caption):
                log("focused:", caption)
                return
            self.key("Tab")
            before = current
            current = wait_for("the focus to move",
                               lambda: (lambda f: f if f and f != before else None)(focused_name()), timeout=5)
        raise Failure("Tab never reached " + caption + "; last focused: " + repr(current))

    # ---- the road ----------------------------------------------------------
    def run(self, dest, workdir):
        wizard = self.wizard()
        log("wizard found")
        self.check_runtime()
        # A window is announced by its role: the wizard is a dialog, and
        # nothing inside it claims to be a window (frame).
        if wizard.getRole() != pyatspi.ROLE_DIALOG or find(wizard, pyatspi.ROLE_FRAME, visible=False):
            raise Failure("the wizard is not a dialog holding controls")

        welcome = wait_for("the Welcome text", lambda: find(wizard, pyatspi.ROLE_LABEL, prefix="Welcome to the"))
        log("Welcome:", name(welcome))
        if not any(t.startswith("Setup cannot update files that are in use.") for t in texts(wizard)):
            raise Failure("the Welcome page's second text is not heard: " + repr(texts(wizard)))
        picture = find(wizard, pyatspi.ROLE_IMAGE)
        if not picture or not name(picture):
            raise Failure("the Welcome picture has no description")
        self.press(wizard, "Next >")

        field = wait_for("the destination field",
                         lambda: find(wizard, pyatspi.ROLE_TEXT, "Destination directory"))
        shown = field.queryText().getText(0, -1)
        log("Destination:", name(field), "=", shown)
        if shown != dest:
            raise Failure("destination field says %r, SETUP.INS says %r" % (shown, dest))
        self.press(wizard, "Browse...")

        chooser = wait_for("the directory chooser", lambda: self.window("Select Directory", "OK"))
        # On Wayland the compositor, not the program, places windows.
        if not os.environ.get("WAYLAND_DISPLAY"):
            self.check_centred_alike(wizard, chooser)
        directories = wait_for("the directory list", lambda: find(chooser, pyatspi.ROLE_LIST, "Directories:"))
        files = find(chooser, pyatspi.ROLE_LIST, "Files: (*.*)")
        drives = find(chooser, pyatspi.ROLE_COMBO_BOX)  # named by its current drive
        dir_items = [name(a) for a in descendants(directories) if a.getRole() == pyatspi.ROLE_LIST_ITEM]
        file_items = [name(a) for a in descendants(files)] if files else []
        path = find(chooser, pyatspi.ROLE_LABEL, prefix="C:")
        log("Directories:", dir_items)
        log("Files:", file_items)
        log("Directory:", path and name(path))
        log("Drives:", drives and [name(a) for a in descendants(drives) if a.getRole() == pyatspi.ROLE_LIST_ITEM])
        # The destination does not exist yet, so the chooser opens on the
        # program's current directory: its sub-folder and its file are listed.
        if "folder" not in dir_items or "notes.txt" not in file_items:
            raise Failure("the chooser's lists do not show the current directory's items")
        if not path or not name(path).endswith(os.path.basename(workdir)):
            raise Failure("the chooser's directory is not heard")
        if not drives or not any(n.startswith("c:") for n in (name(a) for a in descendants(drives))):
            raise Failure("the chooser's drive box is not heard")
        if self.mode == "atspi":
            self.press(chooser, "Cancel")
        else:
            wait_for("the keyboard in the chooser", lambda: states(chooser).contains(pyatspi.STATE_ACTIVE), timeout=5)
            # Down to the sub-folder, Space opens it; Escape leaves the
            # destination as it was.
            self.key("Down", "space")
            wait_for("the sub-folder opened", lambda: name(path).endswith("folder"), timeout=5)
            log("Directory:", name(path))
            self.key("Escape")
        wait_for("the chooser to close", lambda: not self.window("Select Directory", "OK"))

        self.press(wizard, "Next >")
        prompt = wait_for("the disk prompt", lambda: self.window("Information", "OK"))
        message = wait_for("the prompt's text", lambda: find(prompt, pyatspi.ROLE_LABEL, prefix="Please insert disk"))
        log("Prompt:", name(message))
        bar = find(wizard, pyatspi.ROLE_PROGRESS_BAR)
        value = bar.queryValue().currentValue
        label = find(wizard, pyatspi.ROLE_LABEL, prefix=dest)
        log("Installing:", name(bar), "=", value, "; file:", label and name(label))
        if not 0 < value < 100:
            raise Failure("the progress value at the disk prompt is %r" % value)
        if not label:
            raise Failure("the file being installed is not heard: " + repr(texts(wizard)))
        if self.mode == "atspi":
            self.press(prompt, "OK")
        else:
            ok = wait_for("OK focused in the disk prompt",
                          lambda: (lambda f: f and name(f) == "OK" and states(prompt).contains(pyatspi.STATE_ACTIVE))(
                              self.focused()), timeout=5)
            self.key("Return")

        finish = wait_for("the Finish text", lambda: find(wizard, pyatspi.ROLE_LABEL, prefix="Setup is complete"))
        log("Finish:", name(finish))
        self.press(wizard, "Finish", key="Return")


def main():
    mode, medium, dest, payload, workdir = sys.argv[1:6]
    dest_host = dest[2:].replace("\\", "/")  # C:\x\y -> /x/y
    # On X11 the system's Qt is kept off Wayland; in a Wayland session (no
    # DISPLAY) the program chooses by itself.
    env = dict(os.environ) if os.environ.get("WAYLAND_DISPLAY") else dict(os.environ, QT_QPA_PLATFORM="xcb")
    # The screen reader's bus is up before the program starts, as in a
    # session with a screen reader running.
    pyatspi.Registry.getDesktop(0)
    process = subprocess.Popen([os.path.join(medium, "setup")], cwd=workdir, env=env)
    walk = Walk(mode, process)
    try:
        walk.run(dest, workdir)
        code = process.wait(timeout=STEP_TIMEOUT)
    except Exception:
        if process.poll() is None:
            dump(walk.app())
            process.kill()
        process.wait()
        raise
    if code != 0:
        raise Failure("setup ended with exit code %d" % code)
    missing = []
    for root, _, names in os.walk(payload):
        for n in names:
            source = os.path.join(root, n)
            target = os.path.join(dest_host, os.path.relpath(source, payload))
            if not os.path.isfile(target) or open(source, "rb").read() != open(target, "rb").read():
                missing.append(os.path.relpath(source, payload))
    if missing:
        raise Failure("not installed (or different): " + ", ".join(missing))
    log("installed; setup ended with 0")


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print("walk: FAILED:", failure, flush=True)
        sys.exit(1)
