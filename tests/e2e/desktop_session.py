#!/usr/bin/python3
"""Whole-program run of Veluna on a private desktop.

Starts Xvfb with openbox, a private session bus and a private system bus, python3-dbusmock's
logind on the system bus and a StatusNotifierWatcher mock on the session bus, then drives the
real veluna binary the way a user and a desktop shell would:

  1. first launch: the welcome dialog appears; Return takes its default button (standard app);
  2. the home view is shown (a screenshot is kept); Return keeps the computer awake, which must
     show up as a logind "idle" block inhibitor named Veluna (never "sleep");
  3. Ctrl+W switches to menu-bar mode: the setting is saved and the tray item registers with
     the watcher; its dbusmenu lists the awake toggle and the durations, and clicking the
     toggle releases and takes the inhibitor again;
  4. Ctrl+Q quits with status 0 and leaves no inhibitor behind.

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
Every wait is bounded; everything started here is stopped in the end, even on failure.
"""

import argparse
import ctypes
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
import xml.etree.ElementTree as ET

import dbus
import dbus.bus

STEP_TIMEOUT = 20.0  # seconds; generous, the build machine is loaded at times
TOTAL_BUDGET = 150.0  # the whole run stays well inside CTest's 180 s
MAIN_WINDOW_SIZE = (430, 665)
AMBER = "#F59E0B"
LOGIND = "org.freedesktop.login1"
WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
REGISTER = "RegisterStatusNotifierItem"

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


def stop_on_signal(signum, _frame):
    raise TestFailure(f"interrupted by {signal.Signals(signum).name}")


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
    """Owns every process and folder the test starts, and takes them all down again."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="veluna-e2e-")
        self.logs = os.path.join(self.root, "logs")
        os.mkdir(self.logs)
        self.processes = []  # (name, Popen), in start order
        self.veluna = None  # while set, every wait fails as soon as veluna ends
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "en_US.UTF-8",
                    "LANGUAGE": ""}
        for name, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                             ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                             ("XDG_RUNTIME_DIR", "runtime")):
            self.env[name] = os.path.join(self.root, folder)
            os.mkdir(self.env[name], 0o700)

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

    def start_mocks(self, system_bus, session_bus):
        """logind on the system bus, and a watcher that announces a StatusNotifier host."""
        mock = ["/usr/bin/python3", "-m", "dbusmock"]
        self.start("logind-mock", mock + ["--system", "--template", "logind"])
        self.start("watcher-mock", mock + ["--session", WATCHER, WATCHER_PATH, WATCHER])
        self.wait("logind's mock", lambda: system_bus.name_has_owner(LOGIND))
        self.wait("the StatusNotifierWatcher mock", lambda: session_bus.name_has_owner(WATCHER))
        watcher = dbus.Interface(session_bus.get_object(WATCHER, WATCHER_PATH),
                                 "org.freedesktop.DBus.Mock")
        watcher.AddProperties(WATCHER, dbus.Dictionary({
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
            "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
        }, signature="sv"), timeout=10)
        watcher.AddMethod(WATCHER, REGISTER, "s", "", "", timeout=10)
        return watcher

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

    def screenshot_home_view(self, window, path):
        def painted():
            self.run("import", "-window", str(window), path, timeout=15)
            size = tuple(int(v) for v in self.run("identify", "-format", "%w %h", path).split())
            if size != MAIN_WINDOW_SIZE:
                raise LookupError(f"the screenshot is {size}")
            # The big amber button covers a good part of the home view once it is painted.
            share = float(self.run("convert", path, "-alpha", "off", "-fuzz", "12%", "-fill",
                                   "black", "+opaque", AMBER, "-fill", "white", "-opaque",
                                   AMBER, "-colorspace", "Gray", "-format", "%[fx:mean]",
                                   "info:"))
            return share if share > 0.01 else None
        share = self.wait("a painted home view with the amber button in the screenshot", painted)
        log(f"screenshot of the home view saved to {path} ({share:.1%} amber pixels)")

    def wait_for_setting(self, key, value):
        def probe():
            path = os.path.join(self.env["XDG_CONFIG_HOME"], "veluna", "veluna.json")
            with open(path, encoding="utf-8") as f:
                found = json.load(f).get(key, "(absent)")
            if found is not value:
                raise LookupError(f'"{key}": {json.dumps(found)}')
            return True
        self.wait(f'"{key}": {json.dumps(value)} in the settings file', probe)


# ------------------------------------------------------------------ logind and the tray

def veluna_inhibitors(system_bus):
    """Veluna's inhibitors as (what, mode); fails at once if any of them blocks sleep itself."""
    manager = dbus.Interface(system_bus.get_object(LOGIND, "/org/freedesktop/login1"),
                             "org.freedesktop.login1.Manager")
    held = [(str(what), str(mode)) for what, who, _, mode, _, _
            in manager.ListInhibitors(timeout=5) if who == "Veluna"]
    for what, mode in held:
        check("sleep" not in what.split(":"),
              f"Veluna took a '{what}' inhibitor ({mode}); it must only inhibit idle")
    return held


def wait_for_inhibitor(desktop, system_bus, held):
    expected = [("idle", "block")] if held else []

    def probe():
        found = veluna_inhibitors(system_bus)
        if found != expected:
            raise LookupError(f"logind holds {found}")
        return True
    desktop.wait(f"logind to hold {expected or 'no'} Veluna inhibitor", probe)
    log(f"logind holds {expected or 'no'} Veluna inhibitor")


def open_tray_menu(desktop, session_bus, watcher):
    """The menu of the item veluna registered with the watcher, found as a shell finds it."""
    calls = desktop.wait(f"{REGISTER} on the watcher",
                         lambda: watcher.GetMethodCalls(REGISTER, timeout=5))
    service = str(calls[0][1][0])
    log(f"watcher received {REGISTER}({service!r})")
    check(not service.startswith("/"), f"the item registered a path ({service}), not its bus name")
    daemon = session_bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    owner = int(daemon.GetConnectionUnixProcessID(service, dbus_interface="org.freedesktop.DBus"))
    check(owner == desktop.veluna.pid, f"the item {service} belongs to pid {owner}, not veluna")
    menu_path = session_bus.get_object(service, "/StatusNotifierItem").Get(
        "org.kde.StatusNotifierItem", "Menu", dbus_interface="org.freedesktop.DBus.Properties",
        timeout=5)
    return dbus.Interface(session_bus.get_object(service, menu_path), "com.canonical.dbusmenu")


def wait_for_toggle(desktop, menu, label):
    """The menu's visible top-level entries, once the first one, the awake toggle, reads label."""
    def probe():
        _, (_, _, children) = menu.GetLayout(0, -1, dbus.Array([], signature="s"),
                                             signature="iias", timeout=5)
        entries = [{"id": int(entry_id), "label": str(props.get("label", "")).strip(),
                    "enabled": bool(props.get("enabled", True))}
                   for entry_id, props, _ in children
                   if props.get("visible", True) and props.get("type", "") != "separator"]
        if not entries or entries[0]["label"] != label:
            raise LookupError(f"the menu reads {[e['label'] for e in entries]}")
        return entries
    return desktop.wait(f'the first tray menu entry to read "{label}"', probe)


def click(menu, entry):
    log(f"clicking tray menu entry {entry['id']} ({entry['label']!r})")
    menu.Event(entry["id"], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
               signature="isvu", timeout=5)


# ---------------------------------------------------------------------------------- test

def run_test(args, desktop):
    texts = {m.get("id"): m.findtext("translation") or m.findtext("source")
             for m in ET.parse(args.translations).getroot().iter("message")}

    log("step 1: private desktop: buses, X server, window manager, logind and tray watcher")
    env = desktop.env
    env["DBUS_SESSION_BUS_ADDRESS"] = desktop.start_bus("session-bus")
    env["DBUS_SYSTEM_BUS_ADDRESS"] = desktop.start_bus("system-bus")
    desktop.start_display()
    session_bus = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
    system_bus = dbus.bus.BusConnection(env["DBUS_SYSTEM_BUS_ADDRESS"])
    watcher = desktop.start_mocks(system_bus, session_bus)

    log("step 2: first launch; the welcome dialog takes its default button (standard app)")
    veluna = desktop.veluna = desktop.start("veluna", [args.veluna], QT_QPA_PLATFORM="xcb")
    desktop.press(desktop.wait("the welcome dialog", desktop.find_dialog), "Return")
    desktop.wait("the welcome dialog to close", lambda: desktop.find_dialog() is None)
    desktop.wait_for_setting("VLOnboarded", True)
    desktop.wait_for_setting("VLMenuBarMode", False)

    log("step 3: the home view; Return keeps the computer awake")
    main = desktop.wait("the 430x665 main window", desktop.find_main_window)
    check(veluna_inhibitors(system_bus) == [], "Veluna holds an inhibitor before being asked to")
    desktop.screenshot_home_view(main, args.screenshot)
    desktop.press(main, "Return")
    wait_for_inhibitor(desktop, system_bus, held=True)

    log("step 4: Ctrl+W switches to menu-bar mode; the tray menu is read and clicked")
    check(not watcher.GetMethodCalls(REGISTER),
          "the tray item registered before menu-bar mode was chosen")
    desktop.press(main, "ctrl+w")
    desktop.wait_for_setting("VLMenuBarMode", True)
    menu = open_tray_menu(desktop, session_bus, watcher)
    entries = wait_for_toggle(desktop, menu, texts["awake.button_stop"])
    labels = [e["label"] for e in entries]
    log(f"tray menu: {labels}")
    wanted = [texts["awake.duration_" + name] for name in (
        "unlimited", "30_min", "1_hour", "2_hours", "4_hours", "custom")]
    missing = [t for t in wanted + [texts["menu.open_app"], texts["menu.quit"]] if t not in labels]
    check(not missing, f"the tray menu lacks {missing}; it has {labels}")
    heading = texts["awake.menu_duration_header"]
    check([e for e in entries if e["label"] == heading and not e["enabled"]],
          f'the tray menu lacks a disabled "{heading}" heading')
    click(menu, entries[0])
    wait_for_inhibitor(desktop, system_bus, held=False)
    click(menu, wait_for_toggle(desktop, menu, texts["awake.button_start"])[0])
    wait_for_inhibitor(desktop, system_bus, held=True)
    wait_for_toggle(desktop, menu, texts["awake.button_stop"])

    log("step 5: Ctrl+Q quits")
    desktop.press(desktop.wait("a visible veluna window", lambda: desktop.find_main_window()
                               or next(iter(desktop.visible_windows()), None)), "ctrl+q")
    try:
        status = veluna.wait(timeout=STEP_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise TestFailure(f"veluna still runs {STEP_TIMEOUT:.0f}s after Ctrl+Q") from None
    check(status == 0, f"veluna {exit_description(status)} after Ctrl+Q; it must exit with 0")
    desktop.veluna = None
    wait_for_inhibitor(desktop, system_bus, held=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--translations", required=True, help="resources/translations/veluna_en.ts")
    parser.add_argument("--screenshot", required=True, help="where the home view's PNG goes")
    parser.add_argument("--failure-screenshot", help="where the screen's PNG goes on failure")
    args = parser.parse_args()
    missing = [tool for tool in ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "import",
                                 "convert", "identify") if shutil.which(tool) is None]
    if missing:
        print(f"FAIL: {', '.join(missing)} not installed (run scripts/setup.sh <build-dir> test)")
        return 1
    for stale in (args.screenshot, args.failure_screenshot):
        if stale and os.path.exists(stale):
            os.remove(stale)

    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    desktop = Desktop()
    reason = "interrupted"
    try:
        run_test(args, desktop)
        reason = None
    except TestFailure as error:
        reason = str(error)
    except Exception as error:  # pylint: disable=broad-except
        traceback.print_exc(file=sys.stdout)
        reason = f"the test itself broke: {type(error).__name__}: {error} (traceback above)"
    finally:
        desktop.close(reason is not None, args.failure_screenshot)
    if reason:
        print(f"FAIL (after {time.monotonic() - START:.1f}s): {reason}", flush=True)
        return 1
    log("PASS: welcome dialog, home view, logind idle inhibitor, menu-bar mode, tray menu "
        "toggle and quit all behave")
    return 0


if __name__ == "__main__":
    sys.exit(main())
