# SPDX-License-Identifier: MIT
"""A private desktop for whole-program runs: fresh HOME and XDG folders, a private session bus and
a private "system" bus, an X display (Xvfb with openbox) or a compositor, python3-dbusmock
services, and the real veluna binary, with ways to find its windows, press its keys, click its
tray menu and read what it stored and what it holds.

Every wait is bounded. Every process started here, and whatever a bus started on demand (each
carries the desktop's mark in its environment), is stopped in close(), even after a failure."""

import argparse
import contextlib
import ctypes
import functools
import json
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

import dbus
import dbus.bus

SETTLE = 0.6  # long enough for a second, unwanted press (Qt's animated click takes 100 ms)
MAIN_WINDOW_SIZE = (430, 665)
AMBER = "#F59E0B"
IDLE_LOCK = [("idle", "block")]
LOGIND = "org.freedesktop.login1"
WATCHER = "org.kde.StatusNotifierWatcher"
REGISTER = "RegisterStatusNotifierItem"
MOCK = "org.freedesktop.DBus.Mock"
MARKER = "VELUNA_TEST_DESKTOP"
# dbusmock services as start_mocks takes them: (bus name, bus, dbusmock's arguments[, environment])
LOGIND_MOCK = (LOGIND, "system", ["--template", "logind"])
WATCHER_MOCK = (WATCHER, "session", [WATCHER, "/StatusNotifierWatcher", WATCHER])

# No service folders: nothing installed on the machine can be started on such a bus.
BUS_CONFIG = """<busconfig><listen>{address}</listen><policy context="default">
  <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>"""

START = time.monotonic()


def log(message):
    print(f"[{time.monotonic() - START:6.2f}s] {message}", flush=True)


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)
    return True


# The program's texts by id, as its English translation gives them.
TEXTS = {m.get("id"): m.findtext("translation") or m.findtext("source") for m in ET.parse(
    Path(__file__).resolve().parents[2] / "resources/translations/veluna_en.ts").iter("message")}


def die_with_parent():
    """In each child: if this test is killed outright (CTest's timeout), the child goes too."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run_script(doc, body, required, optional=("failure-screenshot",), flags=()):
    """Parses the --options named (flags take no value) and runs body(args); SIGTERM stops it
    as Ctrl+C does, through every clean-up. Returns the exit status."""
    what = doc.splitlines()[0].rstrip(".")
    parser = argparse.ArgumentParser(description=what)
    for name in (*required, *optional, *flags):
        parser.add_argument(f"--{name}", required=name in required,
                            **({"action": "store_true"} if name in flags else {}))
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        body(args)
    except TestFailure as error:
        print(f"FAIL (after {time.monotonic() - START:.1f}s, {what}): {error}", flush=True)
        return 1
    log(f"PASS: {what}")
    return 0


class Desktop:
    """Owns every process and folder of one run, and takes them all down again (as a context
    manager, or by close()). desktop is the XDG_CURRENT_DESKTOP veluna sees, or None for none;
    name tells apart desktops that run side by side."""

    STEP_TIMEOUT = 20.0  # seconds; generous, the build machine is loaded at times
    APP_ENV = {"QT_QPA_PLATFORM": "xcb"}

    def __init__(self, desktop=None, name="desktop", failure_screenshot=None):
        self.name, self.failure_screenshot = name, failure_screenshot
        self.root = tempfile.mkdtemp(prefix=f"veluna-{name}-")
        self.processes = []  # (name, Popen), in start order
        self.veluna = None  # while set, every wait fails as soon as veluna ends
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "en_US.UTF-8",
                    "LANGUAGE": "", MARKER: self.root}
        if desktop:
            self.env["XDG_CURRENT_DESKTOP"] = desktop
        for var, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME",
                            "data"), ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime"),
                            ("", "logs")):
            os.mkdir(self.path(folder), 0o700)
            self.env.update({var: self.path(folder)} if var else {})
        self.settings_path = Path(self.path("config", "veluna", "veluna.json"))

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        self.close(failure is not None)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def start(self, name, argv, pass_fds=(), **env):
        log(f"{self.name}: starting {name}: {' '.join(argv)}")
        with open(self.path("logs", name + ".log"), "wb") as output:
            self.processes.append((name, subprocess.Popen(
                argv, env=dict(self.env, **env), stdin=subprocess.DEVNULL, stdout=output,
                stderr=output, pass_fds=pass_fds, start_new_session=True,
                preexec_fn=die_with_parent)))
        return self.processes[-1][1]

    def run(self, *argv, timeout=10, check_status=True):
        return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, check=check_status,
                              capture_output=True, text=True, timeout=timeout).stdout

    def output_of(self, name):
        return Path(self.path("logs", name + ".log")).read_bytes().decode("utf-8", "replace")

    def wait(self, what, probe, timeout=None, steady=0.0):
        """Polls probe() until it returns something truthy, which it returns, within timeout
        seconds (the step's time, and steady, by default); with steady, once it has been truthy
        for that many seconds in a row (a second, unwanted action would come within them).

        probe may raise TestFailure for a definite fault; other exceptions count as "not yet",
        and the last one is shown if time runs out."""
        timeout = timeout or self.STEP_TIMEOUT + steady
        deadline, since = time.monotonic() + timeout, None
        while True:
            ended = self.veluna is not None and self.veluna.poll() is not None  # before probe()
            try:
                last = probe()
                since = (since or time.monotonic()) if last else None
                if last and time.monotonic() - since >= steady:
                    return last
            except TestFailure:
                raise
            except Exception as error:  # pylint: disable=broad-except
                last, since = f"{type(error).__name__}: {error}", None
            check(not ended, f"veluna exited with {ended and self.veluna.returncode} while "
                  f"waiting for {what}")
            check(time.monotonic() < deadline, f"{self.name}: timed out after {timeout:.0f}s "
                  f"waiting for {what} (last seen: {last!r})")
            time.sleep(0.1)

    def close(self, failed):
        """Stops everything, newest first, then whatever is left with this desktop's mark
        (services a bus started on demand); after a failure, keeps a screenshot and shows
        logs."""
        if failed and self.failure_screenshot:
            with contextlib.suppress(Exception):  # the display itself may be what failed
                self.capture(self.failure_screenshot)
        for _, process in reversed(self.processes):
            for signum in (signal.SIGTERM, signal.SIGKILL):  # SIGKILL for what the group has left
                with contextlib.suppress(ProcessLookupError, PermissionError,
                                         subprocess.TimeoutExpired):
                    os.killpg(process.pid, signum)
                    process.wait(timeout=5)
        mark = f"{MARKER}={self.root}".encode() + b"\0"
        for pid in (int(p) for p in os.listdir("/proc") if p.isdigit() and int(p) != os.getpid()):
            with contextlib.suppress(OSError):
                if mark in Path(f"/proc/{pid}/environ").read_bytes():
                    os.kill(pid, signal.SIGKILL)
        for name, _ in self.processes if failed else ():
            print(f"----- {self.name}: last lines of {name}'s output -----\n" + "\n".join(
                f"  {line}" for line in self.output_of(name).splitlines()[-40:]), flush=True)
        shutil.rmtree(self.root, ignore_errors=True)

    # --------------------------------------------------------------------------- set-up

    def start_buses(self, activation=False):
        """A session and a "system" bus on fixed paths, both in the environment before either
        starts, so that what a bus starts on demand finds both. With activation, the session bus
        may start the services installed on this machine (dconf, xfconfd)."""
        for kind in ("session", "system"):
            self.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"] = f"unix:path={self.path(kind + '.sock')}"
        for kind in ("system", "session"):
            address = self.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"]
            config = Path(self.path(kind + ".conf"))
            config.write_text(BUS_CONFIG.format(address=address), encoding="utf-8")
            self.start(f"{kind}-bus", ["dbus-daemon", "--nofork"] + (
                ["--session", f"--address={address}"] if kind == "session" and activation
                else [f"--config-file={config}"]))
        self.system_bus, self.session_bus = (self.wait(f"the {kind} bus", lambda k=kind: (
            dbus.bus.BusConnection(self.env[f"DBUS_{k.upper()}_BUS_ADDRESS"])))
            for kind in ("system", "session"))

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                            "1280x1024x24", "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:  # Xvfb writes its display number once it is ready
            check(select.select([pipe], [], [], self.STEP_TIMEOUT)[0],
                  "timed out waiting for Xvfb's display number")
            self.env["DISPLAY"] = ":" + pipe.readline().strip()
        check(self.env["DISPLAY"] != ":", "Xvfb ended before it told its display number")
        self.start("openbox", ["openbox", "--sm-disable"])
        self.wait("openbox to manage the screen", lambda: "window id #" in self.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check_status=False))

    def monitor(self, name, match):
        """dbus-monitor on the session bus, its output kept as name's."""
        self.start(name, ["dbus-monitor", "--address", self.env["DBUS_SESSION_BUS_ADDRESS"], match])

    def start_x11(self, *mocks):
        """Both buses, the X display and the mocks (logind's and the watcher unless given)."""
        self.start_buses()
        self.start_display()
        self.start_mocks(*(mocks or (LOGIND_MOCK, WATCHER_MOCK)))

    def start_mocks(self, *mocks):
        """python3-dbusmock services as LOGIND_MOCK; returns once each owns its name. The
        watcher announces a StatusNotifier host and takes registrations, as a desktop shell's
        does."""
        for service, bus, arguments, *env in mocks:
            self.start(service, ["/usr/bin/python3", "-m", "dbusmock", f"--{bus}"] + arguments,
                       **dict(*env))
        for service, bus, *_ in mocks:
            connection = self.system_bus if bus == "system" else self.session_bus
            self.wait(f"{service} on the {bus} bus", lambda c=connection, s=service:
                      c.name_has_owner(s))
        if WATCHER_MOCK in mocks:
            self.watcher.AddProperties(WATCHER, dbus.Dictionary({
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0),
                "RegisteredStatusNotifierItems": dbus.Array([], signature="s")}, signature="sv"))
            self.watcher.AddMethod(WATCHER, REGISTER, "s", "", "")

    @functools.cached_property
    def logind(self):
        return self.system_bus.get_object(LOGIND, "/org/freedesktop/login1")

    @functools.cached_property
    def watcher(self):
        return dbus.Interface(self.session_bus.get_object(WATCHER, "/StatusNotifierWatcher"), MOCK)

    # ---------------------------------------------------------------------------- veluna

    def launch(self, binary):
        if self.session_bus.name_has_owner(WATCHER):
            self.watcher.ClearCalls(timeout=5)  # each launch registers its own tray item
        self.veluna = self.start(f"veluna-{len(self.processes)}", [binary], **self.APP_ENV)

    def wait_for_exit(self, after):
        """veluna's exit status once it has ended, which it must do soon after `after`."""
        self.wait(f"veluna to end after {after}", lambda: self.veluna.poll() is not None)
        status, self.veluna = self.veluna.returncode, None
        return status

    def wait_for_clean_exit(self, after):
        """veluna ends with status 0 soon after `after`, and gives back every lock it held."""
        status = self.wait_for_exit(after)
        check(status == 0, f"veluna exited with {status} after {after}; it must exit with 0")
        self.wait_for_lock(held=False)

    def settings(self):
        """The settings file as veluna left it ({} while there is none)."""
        path = self.settings_path
        return json.loads(path.read_text(encoding="utf-8")) if path.exists() else {}

    def write_settings(self, values):
        self.settings_path.parent.mkdir(parents=True, exist_ok=True)
        self.settings_path.write_text(json.dumps(values), encoding="utf-8")

    def wait_for_setting(self, key, value):
        self.wait(f'"{key}": {json.dumps(value)} in the settings file',  # true is not 1
                  lambda: json.dumps(self.settings().get(key)) == json.dumps(value))

    # ------------------------------------------------------------------- what a user does

    def first_launch(self, binary):
        """A new user's first launch: Return takes the welcome dialog's default button (the
        standard app) and nothing else. Returns the dialog as first found and the main window."""
        self.launch(binary)
        dialog = self.wait("the welcome dialog", self.find_dialog)
        self.press(dialog, "Return")
        self.wait("the welcome dialog to close", lambda: self.find_dialog() is None)
        self.wait_for_setting("VLOnboarded", True)
        self.wait_for_setting("VLMenuBarMode", False)
        main = self.wait("the 430x665 main window", self.find_main_window)
        self.wait("no hold", lambda: check(self.inhibit_calls() == 0 and self.inhibitors() == [],
                  "the welcome dialog's Return also pressed the big button of the main window"),
                  steady=SETTLE)
        return dialog, main

    def menu_bar_mode(self, main):
        """Ctrl+W switches to menu-bar mode once: saved, the window stays, the tray item shows
        (that it shows in menu-bar mode only is tst_appdelegate's)."""
        self.press(main, "ctrl+w")
        self.wait_for_setting("VLMenuBarMode", True)
        self.wait("the main window to stay shown after Ctrl+W (it goes if Ctrl+W acts twice)",
                  self.find_main_window, steady=SETTLE)
        self.tray_menu()

    def tray_menu(self):
        """The menu of the item veluna registered with the watcher, found as a shell finds it."""
        calls = self.wait(f"{REGISTER} on the watcher",
                          lambda: self.watcher.GetMethodCalls(REGISTER, timeout=5))
        item = self.session_bus.get_object(str(calls[0][1][0]), "/StatusNotifierItem")
        return dbus.Interface(self.session_bus.get_object(item.bus_name, item.Get(
            "org.kde.StatusNotifierItem", "Menu", dbus_interface="org.freedesktop.DBus.Properties",
            timeout=5)), "com.canonical.dbusmenu")

    def tray_click(self, label, done):
        """Clicks the tray menu's entry labelled label until done() holds; returns its value.
        A click can miss: each change of state rebuilds the menu with new ids. So it clicks
        again, a second later, only if the entry is still there under a new id (a dialog the
        click opened must not be opened twice)."""
        menu, clicked, retry_at = self.tray_menu(), None, 0.0

        def probe():
            nonlocal clicked, retry_at
            found = done()
            if found or time.monotonic() < retry_at:
                return found
            _, (_, _, children) = menu.GetLayout(0, -1, dbus.Array([], signature="s"),
                                                 signature="iias", timeout=5)
            entries = {str(props.get("label", "")).strip(): int(entry_id)
                       for entry_id, props, _ in children if props.get("visible", True)}
            if label not in entries:
                raise LookupError(f"the tray menu reads {list(entries)}")
            if entries[label] == clicked:
                return None
            clicked, retry_at = entries[label], time.monotonic() + 1.0
            log(f"{self.name}: clicking tray menu entry {clicked} ({label!r})")
            menu.Event(clicked, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                       signature="isvu", timeout=5)
            return None
        return self.wait(f'"{label}" in the tray menu to take effect', probe)

    # -------------------------------------------------------------------------- windows

    def visible_windows(self):
        return [int(w) for w in self.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                         str(self.veluna.pid), check_status=False).split()]

    def is_dialog(self, window):
        return "_NET_WM_WINDOW_TYPE_DIALOG" in self.run("xprop", "-id", str(window),
                                                        "_NET_WM_WINDOW_TYPE")

    def find_dialog(self, known=()):
        return next((w for w in self.visible_windows() if w not in known and self.is_dialog(w)),
                    None)

    def size_of(self, window):
        values = dict(line.split("=", 1) for line in self.run(
            "xdotool", "getwindowgeometry", "--shell", str(window)).split() if "=" in line)
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def find_main_window(self):
        return next((w for w in self.visible_windows() if self.size_of(w) == MAIN_WINDOW_SIZE
                     and not self.is_dialog(w)), None)

    def press(self, window, keys):
        """keys as xdotool names them ("Return", "ctrl+w"), once window is the active one."""
        def active():
            self.run("xdotool", "windowactivate", "--sync", str(window), timeout=5,
                     check_status=False)
            return self.run("xdotool", "getactivewindow", check_status=False).strip() \
                == str(window)
        self.wait(f"window {window} to become the active window", active)
        log(f"{self.name}: pressing {keys} in window {window}")
        self.run("xdotool", "key", "--clearmodifiers", keys)

    def capture(self, path, window="root"):
        self.run("import", "-window", str(window), path, timeout=15)

    def image_size(self, path):
        return tuple(int(v) for v in self.run("identify", "-format", "%w %h", path).split())

    def screenshot(self, window, path):
        """Saves the home view to path once its big amber button is painted (at least 1% of the
        pixels; it covers a good part of a painted home view)."""
        def probe():
            self.capture(path, window)
            size = self.image_size(path)
            if size != MAIN_WINDOW_SIZE:
                raise LookupError(f"the screenshot is {size}")
            share = float(self.run("convert", path, "-alpha", "off", "-fuzz", "12%", "-fill",
                                   "black", "+opaque", AMBER, "-fill", "white", "-opaque", AMBER,
                                   "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"))
            return share if share > 0.01 else None
        self.wait(f"a painted home view in {path}", probe)

    # ------------------------------------------------------------------------ logind

    def inhibitors(self):
        """Veluna's inhibitors as (what, mode), compared whole: IDLE_LOCK while it holds."""
        return [(str(what), str(mode)) for what, who, _, mode, *_ in self.logind.ListInhibitors(
            dbus_interface=f"{LOGIND}.Manager", timeout=5) if who == "Veluna"]

    def inhibit_calls(self):
        """How many Inhibit calls logind's mock has logged so far."""
        return len(self.logind.GetMethodCalls("Inhibit", dbus_interface=MOCK, timeout=5))

    def wait_for_lock(self, held):
        expected = IDLE_LOCK if held else []
        self.wait(f"logind to hold {expected or 'no'} Veluna inhibitor",
                  lambda: self.inhibitors() == expected)
