"""A private desktop for whole-program runs: Xvfb with openbox, a private session bus and a
private system bus, python3-dbusmock's logind and a StatusNotifierWatcher mock, and the real
veluna binary with fresh HOME and XDG folders.

Every wait is bounded; everything started here is stopped in close(), even after a failure."""

import ctypes
import json
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

import dbus
import dbus.bus

STEP_TIMEOUT = 20.0  # seconds; generous, the build machine is loaded at times
TOTAL_BUDGET = 150.0  # a whole run stays well inside CTest's 180 s
SETTLE = 0.6  # long enough for a second, unwanted press (Qt's animated click takes 100 ms)
MAIN_WINDOW_SIZE = (430, 665)
LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
REGISTER = "RegisterStatusNotifierItem"
MOCK = "org.freedesktop.DBus.Mock"

# No service folders: nothing installed on the machine can be activated on these buses.
BUS_CONFIG = """<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
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
    print(f"[e2e {time.monotonic() - START:6.2f}s] {message}", flush=True)


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def die_with_parent():
    """In each child: if this test is killed outright (CTest's timeout), the child goes too."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def exit_description(status):
    return f"crashed ({signal.Signals(-status).name})" if status < 0 \
        else f"exited with status {status}"


def read_line(fd, what):
    """One line from a child's pipe, without blocking past the step's time."""
    deadline = time.monotonic() + STEP_TIMEOUT
    data = b""
    while not data.endswith(b"\n"):
        check(time.monotonic() < deadline, f"timed out waiting for {what}")
        if select.select([fd], [], [], 0.1)[0]:
            chunk = os.read(fd, 1)
            check(chunk, f"{what}: the pipe closed before a full line (got {data!r})")
            data += chunk
    return data.decode().strip()


class Desktop:
    """Owns every process and folder of one run, and takes them all down again.

    desktop is the XDG_CURRENT_DESKTOP veluna sees, or None for none at all."""

    def __init__(self, desktop):
        self.root = tempfile.mkdtemp(prefix="veluna-e2e-")
        self.logs = os.path.join(self.root, "logs")
        os.mkdir(self.logs)
        self.processes = []  # (name, Popen), in start order
        self.veluna = None  # while set, every wait fails as soon as veluna ends
        self.launches = 0
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "en_US.UTF-8",
                    "LANGUAGE": ""}
        if desktop:
            self.env["XDG_CURRENT_DESKTOP"] = desktop
        for name, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                             ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                             ("XDG_RUNTIME_DIR", "runtime")):
            self.env[name] = os.path.join(self.root, folder)
            os.mkdir(self.env[name], 0o700)
        self.settings_path = os.path.join(self.env["XDG_CONFIG_HOME"], "veluna", "veluna.json")
        self.session_bus = self.system_bus = self.watcher = self.logind = None

    def start(self, name, argv, stdout=None, pass_fds=(), **env):
        log(f"starting {name}: {' '.join(argv)}")
        with open(os.path.join(self.logs, name + ".log"), "wb") as errors:
            process = subprocess.Popen(
                argv, env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                stdout=stdout or errors, stderr=errors, pass_fds=pass_fds,
                start_new_session=True, preexec_fn=die_with_parent)
        self.processes.append((name, process))
        return process

    def run(self, *argv, timeout=10, check_status=True):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=timeout)
        if check_status and result.returncode != 0:
            raise RuntimeError(f"{' '.join(argv)} exited {result.returncode}: "
                               f"{result.stderr.strip()}")
        return result.stdout

    def wait(self, what, probe):
        """Polls probe() until it returns something truthy, within the step's and the run's time.

        probe may raise TestFailure for a definite fault; other exceptions count as "not yet",
        and the last one is shown if time runs out."""
        timeout = min(STEP_TIMEOUT, max(TOTAL_BUDGET - (time.monotonic() - START), 1.0))
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
                raise TestFailure(f"timed out after {timeout:.0f}s waiting for {what} "
                                  f"(last seen: {last!r})")
            time.sleep(0.1)

    def close(self, failed, failure_screenshot):
        """Stops everything, newest first; after a failure, keeps a screenshot and shows logs."""
        if failed and failure_screenshot and "DISPLAY" in self.env:
            try:
                self.run("import", "-window", "root", failure_screenshot, timeout=15)
                log(f"screenshot of the screen at the failure: {failure_screenshot}")
            except Exception as error:  # pylint: disable=broad-except
                log(f"no screenshot of the screen: {error}")
        for name, process in reversed(self.processes):
            if process.poll() is None:
                log(f"stopping {name} (pid {process.pid})")
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
            if process.stdout:
                process.stdout.close()
        for name, _ in self.processes if failed else ():
            with open(os.path.join(self.logs, name + ".log"), "rb") as f:
                lines = f.read().decode("utf-8", "replace").splitlines()[-40:]
            print(f"----- last lines of {name}'s output -----", flush=True)
            print("\n".join(f"  {line}" for line in lines), flush=True)
        shutil.rmtree(self.root, ignore_errors=True)

    # --------------------------------------------------------------------------- set-up

    def set_up(self):
        """Both buses, the X server with its window manager, logind and the tray watcher."""
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("session-bus")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system-bus")
        self.start_display()
        self.session_bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.system_bus = dbus.bus.BusConnection(self.env["DBUS_SYSTEM_BUS_ADDRESS"])
        self.start_mocks()

    def start_bus(self, name):
        folder = os.path.join(self.root, name)
        os.mkdir(folder, 0o700)
        config = os.path.join(folder, "bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(BUS_CONFIG.format(socket=os.path.join(folder, "socket")))
        process = self.start(name, ["dbus-daemon", f"--config-file={config}", "--nofork",
                                    "--print-address=1"], stdout=subprocess.PIPE)
        return read_line(process.stdout.fileno(), f"the address of the {name}")

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                            "1280x1024x24", "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        try:
            self.env["DISPLAY"] = ":" + read_line(read_end, "Xvfb's display number")
        finally:
            os.close(read_end)
        self.start("openbox", ["openbox", "--sm-disable"])
        self.wait("openbox to manage the screen", lambda: "window id #" in self.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check_status=False))

    def start_mocks(self):
        """logind on the system bus, and a watcher that announces a StatusNotifier host."""
        mock = ["/usr/bin/python3", "-m", "dbusmock"]
        self.start("logind-mock", mock + ["--system", "--template", "logind"])
        self.start("watcher-mock", mock + ["--session", WATCHER, WATCHER_PATH, WATCHER])
        self.wait("logind's mock", lambda: self.system_bus.name_has_owner(LOGIND))
        self.wait("the StatusNotifierWatcher mock",
                  lambda: self.session_bus.name_has_owner(WATCHER))
        self.logind = self.system_bus.get_object(LOGIND, LOGIND_PATH)
        self.watcher = dbus.Interface(self.session_bus.get_object(WATCHER, WATCHER_PATH), MOCK)
        self.watcher.AddProperties(WATCHER, dbus.Dictionary({
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
            "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
        }, signature="sv"), timeout=10)
        self.watcher.AddMethod(WATCHER, REGISTER, "s", "", "", timeout=10)

    # ---------------------------------------------------------------------------- veluna

    def launch(self, binary):
        self.launches += 1
        self.watcher.ClearCalls(timeout=5)  # each launch registers its own tray item
        self.veluna = self.start(f"veluna-{self.launches}", [binary], QT_QPA_PLATFORM="xcb")
        return self.veluna

    def wait_for_exit(self, after):
        """veluna's exit status once it has ended, which it must do soon after `after`."""
        try:
            status = self.veluna.wait(timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise TestFailure(f"veluna still runs {STEP_TIMEOUT:.0f}s after {after}") from None
        self.veluna = None
        return status

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
        def active():
            self.run("xdotool", "windowactivate", "--sync", str(window), timeout=5,
                     check_status=False)
            return self.run("xdotool", "getactivewindow", check_status=False).strip() \
                == str(window)
        self.wait(f"window {window} to become the active window", active)
        log(f"pressing {keys} in window {window}")
        self.run("xdotool", "key", "--clearmodifiers", keys)

    def screenshot(self, window, path, painted):
        """Saves the window to path once painted(path) finds it drawn; returns what it found."""
        def probe():
            self.run("import", "-window", str(window), path, timeout=15)
            return painted(path)
        return self.wait(f"a painted window in {path}", probe)

    # ------------------------------------------------------------------------ logind

    def inhibitors(self):
        """Veluna's inhibitors as (what, mode); fails at once if any of them blocks sleep itself."""
        held = [(str(what), str(mode)) for what, who, _, mode, _, _ in self.logind.ListInhibitors(
            dbus_interface=f"{LOGIND}.Manager", timeout=5) if who == "Veluna"]
        for what, mode in held:
            check("sleep" not in what.split(":"),
                  f"Veluna took a '{what}' inhibitor ({mode}); it must only inhibit idle")
        return held

    def inhibit_calls(self):
        """How many Inhibit calls logind's mock has logged so far."""
        return len(self.logind.GetMethodCalls("Inhibit", dbus_interface=MOCK, timeout=5))
