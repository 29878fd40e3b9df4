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
POLL = 0.1
MAIN_WINDOW_SIZE = (430, 665)
AMBER = "#F59E0B"

LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
LOGIND_MANAGER = "org.freedesktop.login1.Manager"
WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
MOCK = "org.freedesktop.DBus.Mock"
ITEM_IFACE = "org.kde.StatusNotifierItem"
DBUSMENU = "com.canonical.dbusmenu"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<!-- No service folders: nothing installed on the machine can be activated on this bus. -->
<busconfig>
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


def fail(message):
    raise TestFailure(message)


def remaining_budget():
    return TOTAL_BUDGET - (time.monotonic() - START)


def die_with_parent():
    """In each child: if this test is killed outright (CTest's timeout), the child goes too."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def stop_on_signal(signum, _frame):
    raise TestFailure(f"interrupted by {signal.Signals(signum).name}")


class Session:
    """Owns every process and folder the test starts, and takes them all down again."""

    def __init__(self, keep_files):
        self.keep_files = keep_files
        self.root = tempfile.mkdtemp(prefix="veluna-e2e-")
        os.chmod(self.root, 0o700)
        self.logs = os.path.join(self.root, "logs")
        os.mkdir(self.logs)
        self.processes = []  # (name, Popen), in start order
        self.veluna = None
        self.display = None

    def screenshot_screen(self, path):
        if not path or not self.display:
            return
        try:
            run(["import", "-window", "root", path],
                {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "DISPLAY": self.display},
                timeout=15)
            log(f"screenshot of the whole screen at the failure: {path}")
        except Exception as error:  # pylint: disable=broad-except
            log(f"could not take a screenshot of the screen: {error}")

    def log_path(self, name):
        return os.path.join(self.logs, name + ".log")

    def start(self, name, argv, env, stdout=None, pass_fds=()):
        log(f"starting {name}: {' '.join(argv)}")
        errors = open(self.log_path(name), "wb")
        process = subprocess.Popen(
            argv, env=env, stdin=subprocess.DEVNULL,
            stdout=stdout if stdout is not None else errors, stderr=errors,
            pass_fds=pass_fds, start_new_session=True, preexec_fn=die_with_parent)
        errors.close()
        self.processes.append((name, process))
        return process

    def stop_all(self):
        for name, process in reversed(self.processes):
            if process.poll() is not None:
                continue
            log(f"stopping {name} (pid {process.pid})")
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                continue
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                log(f"{name} ignored SIGTERM; killing it")
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    log(f"{name} (pid {process.pid}) could not be reaped")
        for _, process in self.processes:
            # Children left in a group whose leader is gone (openbox helpers, say).
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            if process.stdout:
                process.stdout.close()

    def dump_logs(self):
        for name, _ in self.processes:
            path = self.log_path(name)
            if not os.path.exists(path):
                continue
            with open(path, "rb") as f:
                text = f.read().decode("utf-8", "replace")
            lines = text.splitlines()[-40:]
            print(f"----- last lines of {name}'s output ({path}) -----", flush=True)
            for line in lines:
                print(f"  {line}", flush=True)

    def remove_files(self):
        if self.keep_files:
            log(f"keeping {self.root}")
        else:
            shutil.rmtree(self.root, ignore_errors=True)


def wait_for(what, probe, timeout=STEP_TIMEOUT, alive=None):
    """Polls probe() until it returns something truthy; fails after timeout.

    probe may raise TestFailure for a definite fault; other exceptions count as "not yet".
    alive, when given, is a process that must keep running meanwhile."""
    timeout = min(timeout, max(remaining_budget(), 1.0))
    deadline = time.monotonic() + timeout
    last = None
    while True:
        if alive is not None and alive.poll() is not None:
            fail(f"veluna {exit_description(alive.returncode)} while waiting for {what}")
        try:
            value = probe()
            if value:
                return value
            last = value
        except TestFailure:
            raise
        except Exception as error:  # pylint: disable=broad-except
            last = f"{type(error).__name__}: {error}"
        if time.monotonic() >= deadline:
            fail(f"timed out after {timeout:.0f}s waiting for {what} (last seen: {last!r})")
        time.sleep(POLL)


def exit_description(status):
    if status < 0:
        return f"crashed ({signal.Signals(-status).name})"
    return f"exited with status {status}"


def run(argv, env, timeout=10, check=True):
    result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                            text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)} exited {result.returncode}: {result.stderr.strip()}")
    return result


def read_line(stream, timeout, what):
    """One line from a child's pipe, without blocking past the deadline."""
    deadline = time.monotonic() + timeout
    data = b""
    fd = stream if isinstance(stream, int) else stream.fileno()
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            fail(f"timed out waiting for {what}")
        ready, _, _ = select.select([fd], [], [], remaining)
        if not ready:
            continue
        chunk = os.read(fd, 1)
        if not chunk:
            fail(f"{what}: the pipe closed before a full line (got {data!r})")
        data += chunk
    return data.decode().strip()


# ----------------------------------------------------------------------------------- texts

def english_texts(ts_path):
    texts = {}
    for message in ET.parse(ts_path).getroot().iter("message"):
        translation = message.find("translation")
        source = message.find("source")
        text = translation.text if translation is not None and translation.text else source.text
        texts[message.get("id")] = text
    return texts


# ------------------------------------------------------------------------------ the desktop

def start_bus(session, name, base_env):
    folder = os.path.join(session.root, name)
    os.mkdir(folder, 0o700)
    config = os.path.join(folder, "bus.conf")
    with open(config, "w") as f:
        f.write(BUS_CONFIG.format(socket=os.path.join(folder, "socket")))
    process = session.start(
        name, ["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
        base_env, stdout=subprocess.PIPE)
    address = read_line(process.stdout, STEP_TIMEOUT, f"the address of the {name}")
    log(f"{name} listens at {address}")
    return address


def start_display(session, env):
    read_end, write_end = os.pipe()
    try:
        session.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                               "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                      env, pass_fds=(write_end,))
        os.close(write_end)
        write_end = None
        number = read_line(read_end, STEP_TIMEOUT, "Xvfb's display number")
    finally:
        if write_end is not None:
            os.close(write_end)
        os.close(read_end)
    display = f":{number}"
    log(f"Xvfb is up on {display}")
    return display


def window_manager_running(env):
    result = run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env, check=False)
    return result.returncode == 0 and "window id #" in result.stdout


def bus_has_name(bus, name):
    return bool(bus.name_has_owner(name))


def start_logind(session, env, system_bus):
    session.start("logind-mock",
                  ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"], env)
    wait_for("logind's mock on the system bus", lambda: bus_has_name(system_bus, LOGIND))
    log("logind mock owns org.freedesktop.login1")


def start_watcher(session, env, session_bus):
    session.start("watcher-mock",
                  ["/usr/bin/python3", "-m", "dbusmock", "--session", WATCHER, WATCHER_PATH,
                   WATCHER], env)
    wait_for("the StatusNotifierWatcher mock", lambda: bus_has_name(session_bus, WATCHER))
    mock = dbus.Interface(session_bus.get_object(WATCHER, WATCHER_PATH), MOCK)
    mock.AddProperties(WATCHER, dbus.Dictionary({
        "IsStatusNotifierHostRegistered": dbus.Boolean(True),
        "ProtocolVersion": dbus.Int32(0),
        "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
    }, signature="sv"), timeout=10)
    mock.AddMethod(WATCHER, "RegisterStatusNotifierItem", "s", "", "", timeout=10)
    host = session_bus.get_object(WATCHER, WATCHER_PATH).Get(
        WATCHER, "IsStatusNotifierHostRegistered",
        dbus_interface="org.freedesktop.DBus.Properties", timeout=10)
    if not host:
        fail("the watcher mock does not announce a StatusNotifier host")
    log("StatusNotifierWatcher mock ready (IsStatusNotifierHostRegistered = true)")
    return mock


# ------------------------------------------------------------------------------- logind

def inhibitors(system_bus):
    manager = dbus.Interface(system_bus.get_object(LOGIND, LOGIND_PATH), LOGIND_MANAGER)
    return [(str(what), str(who), str(why), str(mode), int(uid), int(pid))
            for what, who, why, mode, uid, pid in manager.ListInhibitors(timeout=5)]


def veluna_inhibitors(system_bus):
    """Veluna's inhibitors; fails at once if any of them blocks sleep itself."""
    held = [entry for entry in inhibitors(system_bus) if entry[1] == "Veluna"]
    for entry in held:
        if "sleep" in entry[0].split(":"):
            fail(f"Veluna took a 'sleep' inhibitor, it must only inhibit idle: {entry}")
    return held


def wait_for_idle_inhibitor(system_bus, veluna):
    def probe():
        held = veluna_inhibitors(system_bus)
        return [e for e in held if e[0].split(":") == ["idle"] and e[3] == "block"]
    found = wait_for("a logind inhibitor what=idle who=Veluna mode=block", probe, alive=veluna)
    log(f"logind holds: {found[0]}")
    return found


def wait_for_no_inhibitor(system_bus, veluna=None):
    wait_for("logind to hold no Veluna inhibitor",
             lambda: veluna_inhibitors(system_bus) == [], alive=veluna)
    log("logind holds no Veluna inhibitor")


# ------------------------------------------------------------------------------- windows

def visible_windows(env, pid):
    result = run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid)], env,
                 check=False)
    return [int(line) for line in result.stdout.split()]


def window_size(env, window):
    result = run(["xdotool", "getwindowgeometry", "--shell", str(window)], env)
    values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
    return int(values["WIDTH"]), int(values["HEIGHT"])


def window_types(env, window):
    return run(["xprop", "-id", str(window), "_NET_WM_WINDOW_TYPE"], env).stdout


def find_dialog(env, pid):
    for window in visible_windows(env, pid):
        if "_NET_WM_WINDOW_TYPE_DIALOG" in window_types(env, window):
            return window
    return None


def find_main_window(env, pid):
    for window in visible_windows(env, pid):
        if window_size(env, window) == MAIN_WINDOW_SIZE \
                and "_NET_WM_WINDOW_TYPE_DIALOG" not in window_types(env, window):
            return window
    return None


def active_window(env):
    result = run(["xdotool", "getactivewindow"], env, check=False)
    return int(result.stdout.strip()) if result.returncode == 0 and result.stdout.strip() else None


def activate(env, window, veluna, what):
    def probe():
        if active_window(env) == window:
            return True
        run(["xdotool", "windowactivate", "--sync", str(window)], env, timeout=5, check=False)
        return active_window(env) == window
    wait_for(f"{what} (window {window}) to become the active window", probe, alive=veluna)


def press(env, keys):
    log(f"pressing {keys}")
    run(["xdotool", "key", "--clearmodifiers", keys], env)


# ------------------------------------------------------------------------------- settings

def read_settings(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def wait_for_setting(path, key, value, veluna):
    def probe():
        return os.path.exists(path) and read_settings(path).get(key) is value
    wait_for(f'"{key}": {json.dumps(value)} in {path}', probe, alive=veluna)
    log(f'settings file has "{key}": {json.dumps(value)}')


# --------------------------------------------------------------------------- screenshot

def amber_share(env, png):
    """Share of the picture's pixels close to the amber accent colour."""
    result = run(["convert", png, "-alpha", "off", "-fuzz", "12%",
                  "-fill", "black", "+opaque", AMBER, "-fill", "white", "-opaque", AMBER,
                  "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"], env)
    return float(result.stdout.strip())


def screenshot_home_view(env, window, path, veluna):
    def probe():
        run(["import", "-window", str(window), path], env, timeout=15)
        size = run(["identify", "-format", "%w %h", path], env).stdout.split()
        if tuple(int(v) for v in size) != MAIN_WINDOW_SIZE:
            return False
        share = amber_share(env, path)
        # The big amber button covers a good part of the home view once it is painted.
        return share if share > 0.01 else False
    share = wait_for("a painted home view with the amber button in the screenshot", probe,
                     alive=veluna)
    log(f"screenshot of the home view saved to {path} ({share:.1%} amber pixels)")


# ------------------------------------------------------------------------------ the tray

def registered_item(watcher):
    calls = watcher.GetMethodCalls("RegisterStatusNotifierItem", timeout=5)
    return [str(args[0]) for _, args in calls]


def layout_entries(menu):
    """The top-level entries of the item's menu, as a desktop shell reads them."""
    revision, (root_id, _, children) = menu.GetLayout(
        dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"), signature="iias",
        timeout=5)
    entries = []
    for child in children:
        entry_id, props, _ = child
        entries.append({
            "id": int(entry_id),
            "label": str(props.get("label", "")),
            "type": str(props.get("type", "standard")),
            "enabled": bool(props.get("enabled", True)),
            "visible": bool(props.get("visible", True)),
        })
    return [e for e in entries if e["visible"]]


def actions(entries):
    return [e for e in entries if e["type"] != "separator"]


def describe(entries):
    return [(e["id"], e["label"], e["type"]) for e in entries]


def click(menu, entry):
    log(f"clicking tray menu entry {entry['id']} ({entry['label']!r})")
    menu.Event(dbus.Int32(entry["id"]), "clicked", dbus.Int32(0, variant_level=1),
               dbus.UInt32(0), signature="isvu", timeout=5)


def wait_for_first_label(menu, label, veluna):
    def probe():
        items = actions(layout_entries(menu))
        return items if items and items[0]["label"] == label else False
    items = wait_for(f'the first tray menu entry to read "{label}"', probe, alive=veluna)
    log(f'first tray menu entry reads "{label}"')
    return items


# ---------------------------------------------------------------------------------- test

def check(condition, message):
    if not condition:
        fail(message)


def run_test(args, session):
    texts = english_texts(args.translations)
    stop_title = texts["awake.button_stop"]
    start_title = texts["awake.button_start"]
    duration_titles = [texts[key] for key in (
        "awake.duration_unlimited", "awake.duration_30_min", "awake.duration_1_hour",
        "awake.duration_2_hours", "awake.duration_4_hours", "awake.duration_custom")]

    root = session.root
    home = os.path.join(root, "home")
    xdg = {name: os.path.join(root, folder) for name, folder in (
        ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
        ("XDG_RUNTIME_DIR", "runtime"))}
    for folder in [home, *xdg.values()]:
        os.mkdir(folder, 0o700)
    base_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home,
                "LANG": "en_US.UTF-8", "LANGUAGE": "", **xdg}

    log("step 1: private desktop: buses, X server, window manager, logind and tray watcher")
    session_address = start_bus(session, "session-bus", base_env)
    system_address = start_bus(session, "system-bus", base_env)
    base_env["DBUS_SESSION_BUS_ADDRESS"] = session_address
    base_env["DBUS_SYSTEM_BUS_ADDRESS"] = system_address
    display = start_display(session, base_env)
    session.display = display
    env = dict(base_env, DISPLAY=display)

    session.start("openbox", ["openbox", "--sm-disable"], env)
    wait_for("openbox to manage the screen", lambda: window_manager_running(env))
    log("openbox manages the screen")

    session_bus = dbus.bus.BusConnection(session_address)
    system_bus = dbus.bus.BusConnection(system_address)
    start_logind(session, env, system_bus)
    check(inhibitors(system_bus) == [], "logind's mock starts with inhibitors already held")
    watcher = start_watcher(session, env, session_bus)

    log("step 2: first launch of veluna")
    veluna_env = dict(env, QT_QPA_PLATFORM="xcb")
    veluna = session.start("veluna", [args.veluna], veluna_env)
    session.veluna = veluna
    settings_path = os.path.join(xdg["XDG_CONFIG_HOME"], "veluna", "veluna.json")

    log("step 3: the welcome dialog takes its default button (standard app)")
    dialog = wait_for("the welcome dialog", lambda: find_dialog(env, veluna.pid), alive=veluna)
    log(f"welcome dialog is window {dialog}")
    activate(env, dialog, veluna, "the welcome dialog")
    press(env, "Return")
    wait_for("the welcome dialog to close", lambda: find_dialog(env, veluna.pid) is None,
             alive=veluna)
    wait_for_setting(settings_path, "VLOnboarded", True, veluna)
    wait_for_setting(settings_path, "VLMenuBarMode", False, veluna)

    main = wait_for("the 430x665 main window", lambda: find_main_window(env, veluna.pid),
                    alive=veluna)
    log(f"main window is window {main}")
    check(veluna_inhibitors(system_bus) == [], "Veluna holds an inhibitor before being asked to")
    screenshot_home_view(env, main, args.screenshot, veluna)

    activate(env, main, veluna, "the main window")
    press(env, "Return")
    wait_for_idle_inhibitor(system_bus, veluna)

    log("step 4: Ctrl+W switches to menu-bar mode and the tray item registers")
    check(registered_item(watcher) == [],
          "the tray item registered before menu-bar mode was chosen")
    activate(env, main, veluna, "the main window")
    press(env, "ctrl+w")
    wait_for_setting(settings_path, "VLMenuBarMode", True, veluna)
    names = wait_for("RegisterStatusNotifierItem on the watcher",
                     lambda: registered_item(watcher), alive=veluna)
    log(f"watcher received RegisterStatusNotifierItem({names[0]!r})")
    service = names[0]
    check(not service.startswith("/"),
          f"the item registered a path ({service}) instead of its bus name")
    daemon = dbus.Interface(session_bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus"),
                            "org.freedesktop.DBus")
    owner_pid = int(daemon.GetConnectionUnixProcessID(service, timeout=5))
    check(owner_pid == veluna.pid,
          f"the registered item {service} belongs to pid {owner_pid}, not veluna ({veluna.pid})")

    item = session_bus.get_object(service, "/StatusNotifierItem")
    menu_path = str(item.Get(ITEM_IFACE, "Menu", dbus_interface="org.freedesktop.DBus.Properties",
                             timeout=5))
    log(f"the item's menu is at {menu_path}")
    menu = dbus.Interface(session_bus.get_object(service, menu_path), DBUSMENU)

    items = wait_for_first_label(menu, stop_title, veluna)
    log(f"tray menu: {describe(items)}")
    labels = [e["label"].strip() for e in items]
    missing = [title for title in duration_titles if title not in labels]
    check(not missing, f"the tray menu lacks the duration entries {missing}; it has {labels}")
    header = [e for e in items if e["label"].strip() == texts["awake.menu_duration_header"]]
    check(header and not header[0]["enabled"],
          f"the tray menu lacks a disabled \"{texts['awake.menu_duration_header']}\" heading")
    for key in ("menu.open_app", "menu.quit"):
        check(texts[key] in labels, f'the tray menu lacks "{texts[key]}"; it has {labels}')
    log("tray menu lists the toggle, the durations, Open and Quit")

    click(menu, items[0])
    wait_for_no_inhibitor(system_bus, veluna)
    items = wait_for_first_label(menu, start_title, veluna)

    click(menu, items[0])
    wait_for_idle_inhibitor(system_bus, veluna)
    wait_for_first_label(menu, stop_title, veluna)

    log("step 5: Ctrl+Q quits")
    window = wait_for("a visible veluna window", lambda: find_main_window(env, veluna.pid)
                      or (visible_windows(env, veluna.pid) or [None])[0], alive=veluna)
    activate(env, window, veluna, "veluna's window")
    press(env, "ctrl+q")
    try:
        status = veluna.wait(timeout=min(STEP_TIMEOUT, max(remaining_budget(), 1.0)))
    except subprocess.TimeoutExpired:
        fail(f"veluna still runs {STEP_TIMEOUT:.0f}s after Ctrl+Q")
    check(status == 0, f"veluna {exit_description(status)} after Ctrl+Q; it must exit with 0")
    log("veluna exited with status 0")
    wait_for_no_inhibitor(system_bus)
    check(inhibitors(system_bus) == [], f"logind still holds {inhibitors(system_bus)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--translations", required=True, help="resources/translations/veluna_en.ts")
    parser.add_argument("--screenshot", required=True, help="where the home view's PNG goes")
    parser.add_argument("--failure-screenshot", help="where a screenshot of the screen goes on failure")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()

    for tool in ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "import", "convert",
                 "identify"):
        if shutil.which(tool) is None:
            print(f"FAIL: {tool} is not installed (run scripts/setup.sh <build-dir> test)")
            return 1

    for stale in (args.screenshot, args.failure_screenshot):
        if stale and os.path.exists(stale):
            os.remove(stale)
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    session = Session(args.keep)
    status = 1
    reason = None
    try:
        run_test(args, session)
        status = 0
    except TestFailure as error:
        reason = str(error)
        print(f"FAIL: {reason}", flush=True)
    except Exception as error:  # pylint: disable=broad-except
        traceback.print_exc(file=sys.stdout)
        reason = f"the test itself broke: {type(error).__name__}: {error} (traceback above)"
        print(f"FAIL: {reason}", flush=True)
    finally:
        if status != 0:
            session.screenshot_screen(args.failure_screenshot)
            session.stop_all()
            session.dump_logs()
        else:
            session.stop_all()
        session.remove_files()
    if status == 0:
        log("PASS: welcome dialog, home view, logind idle inhibitor, menu-bar mode, tray menu "
            "toggle and quit all behave")
    else:
        print(f"FAIL (after {time.monotonic() - START:.1f}s): {reason}", flush=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
