# SPDX-License-Identifier: MIT
"""A private desktop for whole-program runs: fresh HOME and XDG folders, a private session bus and
a private "system" bus, an X display (Xvfb with openbox) or a compositor, python3-dbusmock
services, and the real veluna binary, with ways to find its windows, press its keys and read what
it stored and what it holds.

Every wait is bounded. Every process started here, and whatever a bus started on demand (each
carries the desktop's mark in its environment), is stopped in close(), even after a failure."""

import ctypes
import functools
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

import dbus
import dbus.bus

SETTLE = 0.6  # long enough for a second, unwanted press (Qt's animated click takes 100 ms)
MAIN_WINDOW_SIZE = (430, 665)
AMBER = "#F59E0B"
AMBER_SHARE_MIN = 0.01  # the big button covers a good part of a painted home view
IDLE_LOCK = [("idle", "block")]
LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
REGISTER = "RegisterStatusNotifierItem"
MOCK = "org.freedesktop.DBus.Mock"
MARKER = "VELUNA_TEST_DESKTOP"
# dbusmock services as start_mocks takes them: (bus name, bus, dbusmock's arguments)
LOGIND_MOCK = (LOGIND, "system", ["--template", "logind"])
WATCHER_MOCK = (WATCHER, "session", [WATCHER, WATCHER_PATH, WATCHER])

# No service folders: nothing installed on the machine can be started on such a bus.
BUS_CONFIG = """<busconfig>
  <type>{kind}</type>
  <listen>{address}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

START = time.monotonic()


def log(message):
    print(f"[{time.monotonic() - START:6.2f}s] {message}", flush=True)


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def stop_on_signal(signum, _frame):
    raise TestFailure(f"interrupted by {signal.Signals(signum).name}")


def die_with_parent():
    """In each child: if this test is killed outright (CTest's timeout), the child goes too."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def exit_description(status):
    return f"crashed ({signal.Signals(-status).name})" if status < 0 \
        else f"exited with status {status}"


def stop_group(name, process):
    for signum in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, signum)
            process.wait(timeout=5)
            break
        except ProcessLookupError:
            break
        except subprocess.TimeoutExpired:
            log(f"{name} outlived {signal.Signals(signum).name}")
    try:  # children left in a group whose leader is gone (openbox helpers, say)
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def environ_of(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return f.read()
    except OSError:
        return b""


def run_guarded(what, tools, body, stale=()):
    """body() with every tool installed and no stale output left; SIGTERM and SIGINT fail it.
    Returns the exit status, once body's own clean-up has run."""
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        print(f"FAIL: {', '.join(missing)} not installed (run scripts/setup.sh <build-dir> test)")
        return 1
    for path in stale:
        if path and os.path.exists(path):
            os.remove(path)
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    try:
        body()
    except TestFailure as error:
        reason = str(error)
    except Exception as error:  # pylint: disable=broad-except
        traceback.print_exc(file=sys.stdout)
        reason = f"the test itself broke: {type(error).__name__}: {error} (traceback above)"
    else:
        log(f"PASS: {what}")
        return 0
    print(f"FAIL (after {time.monotonic() - START:.1f}s, {what}): {reason}", flush=True)
    return 1


class Desktop:
    """Owns every process and folder of one run, and takes them all down again (as a context
    manager, or by close()). desktop is the XDG_CURRENT_DESKTOP veluna sees, or None for none;
    name tells apart desktops that run side by side."""

    STEP_TIMEOUT = 20.0  # seconds; generous, the build machine is loaded at times
    BUDGET = 150.0  # for the whole run, which stays well inside CTest's time
    APP_ENV = {"QT_QPA_PLATFORM": "xcb"}

    def __init__(self, desktop=None, name="", failure_screenshot=None):
        self.name = name
        self.root = tempfile.mkdtemp(prefix=f"veluna-{name or 'e2e'}-")
        self.failure_screenshot = failure_screenshot
        self.processes = []  # (name, Popen), in start order
        self.veluna = None  # while set, every wait fails as soon as veluna ends
        self.launches = 0
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "en_US.UTF-8",
                    "LANGUAGE": "", MARKER: self.root}
        if desktop:
            self.env["XDG_CURRENT_DESKTOP"] = desktop
        for var, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME",
                            "data"), ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime")):
            self.env[var] = self.path(folder)
            os.mkdir(self.env[var], 0o700)
        os.mkdir(self.path("logs"))
        self.settings_path = self.path("config", "veluna", "veluna.json")
        self.session_bus = self.system_bus = None

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        self.close(failure is not None)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def tag(self, message):
        log(f"{self.name}: {message}" if self.name else message)

    def start(self, name, argv, pass_fds=(), **env):
        self.tag(f"starting {name}: {' '.join(argv)}")
        with open(self.path("logs", name + ".log"), "wb") as output:
            process = subprocess.Popen(
                argv, env=dict(self.env, **env), stdin=subprocess.DEVNULL, stdout=output,
                stderr=output, pass_fds=pass_fds, start_new_session=True,
                preexec_fn=die_with_parent)
        self.processes.append((name, process))
        return process

    def run(self, *argv, timeout=10, check_status=True):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, check=False,
                                capture_output=True, text=True, timeout=timeout)
        if check_status and result.returncode != 0:
            raise RuntimeError(f"{' '.join(argv)} exited {result.returncode}: "
                               f"{result.stderr.strip()}")
        return result.stdout

    def output_of(self, name):
        with open(self.path("logs", name + ".log"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait(self, what, probe):
        """Polls probe() until it returns something truthy, within the step's and the run's time.

        probe may raise TestFailure for a definite fault; other exceptions count as "not yet",
        and the last one is shown if time runs out."""
        timeout = min(self.STEP_TIMEOUT, max(self.BUDGET - (time.monotonic() - START), 1.0))
        deadline = time.monotonic() + timeout
        while True:
            if self.veluna is not None and self.veluna.poll() is not None:
                raise TestFailure(f"veluna {exit_description(self.veluna.returncode)} "
                                  f"while waiting for {what}")
            try:
                last = probe()
                if last:
                    return last
            except TestFailure:
                raise
            except Exception as error:  # pylint: disable=broad-except
                last = f"{type(error).__name__}: {error}"
            if time.monotonic() >= deadline:
                raise TestFailure(f"{self.name + ': ' if self.name else ''}timed out after "
                                  f"{timeout:.0f}s waiting for {what} (last seen: {last!r})")
            time.sleep(0.1)

    def close(self, failed):
        """Stops everything, newest first; after a failure, keeps a screenshot and shows logs."""
        if failed and self.failure_screenshot:
            try:
                self.capture_screen(self.failure_screenshot)
                log(f"screenshot of the screen at the failure: {self.failure_screenshot}")
            except Exception as error:  # pylint: disable=broad-except
                log(f"no screenshot of the screen: {error}")
        for name, process in reversed(self.processes):
            if process.poll() is None:
                self.tag(f"stopping {name} (pid {process.pid})")
            stop_group(name, process)
        self.stop_marked()
        for name, _ in self.processes if failed else ():
            lines = self.output_of(name).splitlines()[-40:]
            print(f"----- {self.name or 'e2e'}: last lines of {name}'s output -----", flush=True)
            print("\n".join(f"  {line}" for line in lines), flush=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def stop_marked(self):
        """Whatever is left with this desktop's mark (services a bus started on demand)."""
        mark = f"{MARKER}={self.root}".encode() + b"\0"
        for _ in range(3):
            found = [int(pid) for pid in os.listdir("/proc") if pid.isdigit()
                     and int(pid) != os.getpid() and mark in environ_of(pid)]
            for pid in found:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            if not found:
                return
            time.sleep(0.2)

    # --------------------------------------------------------------------------- set-up

    def start_buses(self, activation=False):
        """A session and a "system" bus on fixed paths, both in the environment before either
        starts, so that what a bus starts on demand finds both. With activation, the session bus
        may start the services installed on this machine (dconf, xfconfd)."""
        for kind in ("session", "system"):
            self.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"] = f"unix:path={self.path(kind + '.sock')}"
        for kind in ("system", "session"):
            address = self.env[f"DBUS_{kind.upper()}_BUS_ADDRESS"]
            if kind == "session" and activation:
                argv = ["dbus-daemon", "--nofork", "--session", f"--address={address}"]
            else:
                with open(self.path(kind + "-bus.conf"), "w", encoding="utf-8") as f:
                    f.write(BUS_CONFIG.format(kind=kind, address=address))
                argv = ["dbus-daemon", "--nofork", f"--config-file={self.path(kind + '-bus.conf')}"]
            self.start(f"{kind}-bus", argv)
        self.system_bus = self.wait("the system bus", lambda: dbus.bus.BusConnection(
            self.env["DBUS_SYSTEM_BUS_ADDRESS"]))
        self.session_bus = self.wait("the session bus", lambda: dbus.bus.BusConnection(
            self.env["DBUS_SESSION_BUS_ADDRESS"]))

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                            "1280x1024x24", "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        try:
            self.env["DISPLAY"] = ":" + self.read_line(read_end, "Xvfb's display number")
        finally:
            os.close(read_end)
        self.start("openbox", ["openbox", "--sm-disable"])
        self.wait("openbox to manage the screen", lambda: "window id #" in self.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check_status=False))

    def read_line(self, fd, what):
        """One line from a child's pipe, without blocking past the step's time."""
        deadline = time.monotonic() + self.STEP_TIMEOUT
        data = b""
        while not data.endswith(b"\n"):
            check(time.monotonic() < deadline, f"timed out waiting for {what}")
            if select.select([fd], [], [], 0.1)[0]:
                chunk = os.read(fd, 1)
                check(chunk, f"{what}: the pipe closed before a full line (got {data!r})")
                data += chunk
        return data.decode().strip()

    def start_mocks(self, *mocks):
        """python3-dbusmock services, each (bus name, "system" or "session", dbusmock's arguments[,
        environment]); returns once each owns its name. The watcher announces a StatusNotifier
        host and takes registrations, as a desktop shell's does."""
        for service, bus, arguments, *env in mocks:
            self.start(service, ["/usr/bin/python3", "-m", "dbusmock", f"--{bus}"] + arguments,
                       **dict(*env))
        for service, bus, *_ in mocks:
            connection = self.system_bus if bus == "system" else self.session_bus
            self.wait(f"{service} on the {bus} bus", lambda c=connection, s=service:
                      c.name_has_owner(s))
        if WATCHER in (service for service, *_ in mocks):
            self.watcher.AddProperties(WATCHER, dbus.Dictionary({
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0),
                "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
            }, signature="sv"), timeout=10)
            self.watcher.AddMethod(WATCHER, REGISTER, "s", "", "", timeout=10)

    @functools.cached_property
    def logind(self):
        return self.system_bus.get_object(LOGIND, LOGIND_PATH)

    @functools.cached_property
    def watcher(self):
        return dbus.Interface(self.session_bus.get_object(WATCHER, WATCHER_PATH), MOCK)

    # ---------------------------------------------------------------------------- veluna

    def launch(self, binary):
        self.launches += 1
        if self.session_bus.name_has_owner(WATCHER):
            self.watcher.ClearCalls(timeout=5)  # each launch registers its own tray item
        self.veluna = self.start(f"veluna-{self.launches}", [binary], **self.APP_ENV)
        return self.veluna

    def wait_for_exit(self, after):
        """veluna's exit status once it has ended, which it must do soon after `after`."""
        try:
            status = self.veluna.wait(timeout=self.STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise TestFailure(f"veluna still runs {self.STEP_TIMEOUT:.0f}s after {after}") from None
        self.veluna = None
        return status

    def wait_for_clean_exit(self, after):
        """veluna ends with status 0 soon after `after`, and gives back every lock it held."""
        status = self.wait_for_exit(after)
        check(status == 0, f"veluna {exit_description(status)} after {after}; it must exit with 0")
        self.wait_for_lock(held=False)

    def settings(self):
        """The settings file as veluna left it ({} while there is none)."""
        try:
            with open(self.settings_path, encoding="utf-8") as f:
                return json.load(f)
        except FileNotFoundError:
            return {}

    def write_settings(self, values):
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        with open(self.settings_path, "w", encoding="utf-8") as f:
            json.dump(values, f)

    def wait_for_setting(self, key, value):
        def probe():
            found = self.settings().get(key, "(absent)")
            if found is not value:
                raise LookupError(f'"{key}": {json.dumps(found)}')
            return True
        self.wait(f'"{key}": {json.dumps(value)} in the settings file', probe)

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
        time.sleep(SETTLE)
        check(self.inhibit_calls() == 0 and self.inhibitors() == [],
              "the welcome dialog's Return also pressed the big button of the main window")
        return dialog, main

    def menu_bar_mode(self, main):
        """Ctrl+W switches to menu-bar mode once: saved, the window stays, the tray item shows."""
        check(not self.watcher.GetMethodCalls(REGISTER),
              "the tray item registered before menu-bar mode was chosen")
        self.press(main, "ctrl+w")
        self.wait_for_setting("VLMenuBarMode", True)
        self.wait("the main window to show after Ctrl+W", self.find_main_window)
        time.sleep(SETTLE)
        check(self.find_main_window(), "the main window went away after Ctrl+W: it acted twice")
        return self.tray_menu()

    def tray_menu(self):
        """The menu of the item veluna registered with the watcher, found as a shell finds it."""
        calls = self.wait(f"{REGISTER} on the watcher",
                          lambda: self.watcher.GetMethodCalls(REGISTER, timeout=5))
        service = str(calls[0][1][0])
        log(f"watcher received {REGISTER}({service!r})")
        check(not service.startswith("/"), f"the item registered a path ({service}), not a name")
        bus = self.session_bus
        owner = int(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
                    .GetConnectionUnixProcessID(service, dbus_interface="org.freedesktop.DBus"))
        check(owner == self.veluna.pid, f"the item {service} belongs to pid {owner}, not veluna")
        menu_path = bus.get_object(service, "/StatusNotifierItem").Get(
            "org.kde.StatusNotifierItem", "Menu",
            dbus_interface="org.freedesktop.DBus.Properties", timeout=5)
        return dbus.Interface(bus.get_object(service, menu_path), "com.canonical.dbusmenu")

    # -------------------------------------------------------------------------- windows

    def visible_windows(self):
        return [int(w) for w in self.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                         str(self.veluna.pid), check_status=False).split()]

    def is_dialog(self, window):
        return "_NET_WM_WINDOW_TYPE_DIALOG" in self.run("xprop", "-id", str(window),
                                                        "_NET_WM_WINDOW_TYPE")

    def find_dialog(self):
        return next((w for w in self.visible_windows() if self.is_dialog(w)), None)

    def find_main_window(self):
        for window in self.visible_windows():
            shell = self.run("xdotool", "getwindowgeometry", "--shell", str(window))
            values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
            if (int(values["WIDTH"]), int(values["HEIGHT"])) == MAIN_WINDOW_SIZE \
                    and not self.is_dialog(window):
                return window
        return None

    def press(self, window, keys):
        """keys as xdotool names them ("Return", "ctrl+w"), once window is the active one."""
        def active():
            self.run("xdotool", "windowactivate", "--sync", str(window), timeout=5,
                     check_status=False)
            return self.run("xdotool", "getactivewindow", check_status=False).strip() \
                == str(window)
        self.wait(f"window {window} to become the active window", active)
        self.tag(f"pressing {keys} in window {window}")
        self.run("xdotool", "key", "--clearmodifiers", keys)

    def capture(self, window, path):
        self.run("import", "-window", str(window), path, timeout=15)

    def capture_screen(self, path):
        self.run("import", "-window", "root", path, timeout=15)

    def screenshot(self, window, path):
        """Saves the home view to path once its big amber button is painted."""
        def probe():
            self.capture(window, path)
            size = tuple(int(v) for v in self.run("identify", "-format", "%w %h", path).split())
            if size != MAIN_WINDOW_SIZE:
                raise LookupError(f"the screenshot is {size}")
            share = float(self.run("convert", path, "-alpha", "off", "-fuzz", "12%", "-fill",
                                   "black", "+opaque", AMBER, "-fill", "white", "-opaque", AMBER,
                                   "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"))
            return share if share > AMBER_SHARE_MIN else None
        share = self.wait(f"a painted home view in {path}", probe)
        log(f"screenshot of the home view saved to {path} ({share:.1%} amber pixels)")

    # ------------------------------------------------------------------------ logind

    def all_inhibitors(self):
        """logind's locks now, as (what, who, why, mode)."""
        return [tuple(str(field) for field in entry[:4]) for entry in self.logind.ListInhibitors(
            dbus_interface=f"{LOGIND}.Manager", timeout=5)]

    def inhibitors(self):
        """Veluna's inhibitors as (what, mode); fails at once if any of them blocks sleep itself."""
        held = [(what, mode) for what, who, _, mode in self.all_inhibitors() if who == "Veluna"]
        for what, mode in held:
            check("sleep" not in what.split(":"),
                  f"Veluna took a '{what}' inhibitor ({mode}); it must only inhibit idle")
        return held

    def inhibit_calls(self):
        """How many Inhibit calls logind's mock has logged so far."""
        return len(self.logind.GetMethodCalls("Inhibit", dbus_interface=MOCK, timeout=5))

    def wait_for_lock(self, held):
        expected = IDLE_LOCK if held else []

        def probe():
            found = self.inhibitors()
            if found != expected:
                raise LookupError(f"logind holds {found}")
            return True
        self.wait(f"logind to hold {expected or 'no'} Veluna inhibitor", probe)
        log(f"logind holds {expected or 'no'} Veluna inhibitor")
