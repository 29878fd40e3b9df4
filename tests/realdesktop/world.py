"""One private desktop for a power-manager test: its own X display with openbox, a session bus
and a "system" bus on fixed socket paths, python3-dbusmock's logind (with a call log), UPower
and polkit on the system bus, and whatever desktop services the test starts on top.

Every process is started in a process group of its own and marked with the world's folder in
its environment, so close() stops them all, including what the buses started on demand.
"""

import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import time

import dbus
import dbus.bus

LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
MOCK = "org.freedesktop.DBus.Mock"
MARKER = "VELUNA_REALDESKTOP_WORLD"
STEP_TIMEOUT = 20.0
SEATS = "/run/systemd/seats"
CLONE_NEWNS = 0x00020000

# The "system" bus: no service folders, so nothing installed can be started on it.
SYSTEM_BUS_CONFIG = """<busconfig>
  <type>system</type>
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
    print(f"[{time.monotonic() - START:6.1f}s] {message}", flush=True)


class TestFailure(Exception):
    pass


def die_with_parent():
    """In each child: if the test is killed outright (CTest's timeout), the child goes too."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def wait_for(what, probe, timeout=STEP_TIMEOUT):
    """Polls probe() until it returns something truthy; other exceptions count as "not yet"."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        try:
            last = probe()
            if last:
                return last
        except (dbus.DBusException, OSError, LookupError, ValueError) as error:
            last = f"{type(error).__name__}: {error}"
        time.sleep(0.2)
    raise TestFailure(f"timed out after {timeout:.0f}s waiting for {what} (last seen: {last!r})")


class World:
    def __init__(self, name, parent):
        self.name = name
        self.root = os.path.join(parent, name)
        os.mkdir(self.root)
        self.processes = []  # (name, Popen), in start order
        self.env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "LANGUAGE": "",
                    "USER": "root", MARKER: self.root}
        for var, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                            ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                            ("XDG_RUNTIME_DIR", "runtime"), ("XDG_CONFIG_DIRS", "xdg")):
            self.env[var] = self.path(folder)
            os.mkdir(self.env[var], 0o700)
        self.session_bus = self.system_bus = None
        self.calls_log = self.path("logind-calls.log")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def tag(self, message):
        log(f"{self.name}: {message}")

    # ------------------------------------------------------------------ processes

    def start(self, name, argv, pass_fds=(), **env):
        self.tag(f"starting {name}: {' '.join(argv)}")
        with open(self.path(name + ".log"), "ab") as output:
            process = subprocess.Popen(argv, env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=output, pass_fds=pass_fds,
                                       start_new_session=True, preexec_fn=die_with_parent)
        self.processes.append((name, process))
        return process

    def run(self, *argv, timeout=10, check_status=True):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=timeout, check=False)
        if check_status and result.returncode != 0:
            raise TestFailure(f"{self.name}: {' '.join(argv)} exited {result.returncode}: "
                              f"{result.stderr.strip()}")
        return result.stdout

    def check_running(self):
        for name, process in self.processes:
            if process.poll() is not None:
                raise TestFailure(f"{self.name}: {name} ended with status {process.returncode}")

    def output_of(self, name):
        with open(self.path(name + ".log"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def close(self, show_logs):
        for name, process in reversed(self.processes):
            stop_group(process)
        self.stop_marked()
        for name, _ in self.processes if show_logs else ():
            lines = self.output_of(name).splitlines()[-25:]
            print(f"----- {self.name}: last lines of {name} -----", flush=True)
            print("\n".join(f"  {line}" for line in lines), flush=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def stop_marked(self):
        """Whatever is left with this world's mark (services the session bus started)."""
        mark = f"{MARKER}={self.root}".encode() + b"\0"
        for _ in range(3):
            found = [pid for pid in other_pids() if mark in environ_of(pid)]
            for pid in found:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            if not found:
                return
            time.sleep(0.2)

    # ---------------------------------------------------------------------- set-up

    def start_buses(self):
        """Buses on fixed paths, set in the environment first: what they start inherits them."""
        session = self.path("session.sock")
        system = self.path("system.sock")
        config = self.path("system-bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(SYSTEM_BUS_CONFIG.format(socket=system))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={session}"
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={system}"
        self.start("system-bus", ["dbus-daemon", f"--config-file={config}", "--nofork"])
        self.start("session-bus", ["dbus-daemon", "--session", "--nofork",
                                   f"--address=unix:path={session}"])
        self.system_bus = wait_for("the system bus", lambda: dbus.bus.BusConnection(
            self.env["DBUS_SYSTEM_BUS_ADDRESS"]))
        self.session_bus = wait_for("the session bus", lambda: dbus.bus.BusConnection(
            self.env["DBUS_SESSION_BUS_ADDRESS"]))

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        try:
            self.env["DISPLAY"] = ":" + read_line(read_end)
        finally:
            os.close(read_end)
        self.start("openbox", ["openbox", "--sm-disable"])
        wait_for("openbox to manage the screen", lambda: "window id #" in self.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))

    def start_system_mocks(self, with_session):
        mock = ["/usr/bin/python3", "-m", "dbusmock", "--system"]
        self.start("logind", mock + ["--template", "logind", "-l", self.calls_log])
        self.start("upower", mock + ["--template", "upower", "-p",
                                     '{"DaemonVersion": "0.99.20", "OnBattery": false}'])
        self.start("polkitd", mock + ["--template", "polkitd"])
        for name in (LOGIND, "org.freedesktop.UPower", "org.freedesktop.PolicyKit1"):
            wait_for(f"{name} on the system bus", lambda n=name: self.system_bus.name_has_owner(n))
        polkit = self.system_bus.get_object("org.freedesktop.PolicyKit1",
                                            "/org/freedesktop/PolicyKit1/Authority")
        polkit.AllowUnknown(True, dbus_interface=MOCK)
        if with_session:
            self.logind().AddSession("auto", "seat0", dbus.UInt32(os.getuid()), "root", True,
                                     dbus_interface=MOCK)

    # ----------------------------------------------------------------------- reading

    def logind(self):
        return self.system_bus.get_object(LOGIND, LOGIND_PATH)

    def inhibitors(self):
        """logind's locks now, as (what, who, why, mode)."""
        return {tuple(str(field) for field in entry[:4]) for entry in self.logind().ListInhibitors(
            dbus_interface="org.freedesktop.login1.Manager", timeout=5)}

    def logind_calls(self, method):
        """(wall-clock time, arguments) of each call of method in logind's call log."""
        calls = []
        with open(self.calls_log, encoding="utf-8") as f:
            for line in f:
                stamp, _, rest = line.partition(" ")
                if rest.startswith(method + " ") or rest.strip() == method:
                    calls.append((float(stamp), re.findall(r'"([^"]*)"', rest)))
        return calls

    def screensaver_timeout(self):
        found = re.search(r"timeout:\s*(\d+)", self.run("xset", "q"))
        return int(found.group(1)) if found else None

    def reset_idle(self):
        """Real input through the X server: what an idle monitor counts as the user being back."""
        self.run("xdotool", "key", "shift")


def provide_seats_folder():
    """xfce4-power-manager and gnome-session talk to logind only where /run/systemd/seats exists.
    Where it does not (a container), this test makes one in a mount namespace of its own."""
    if os.path.isdir(SEATS):
        return
    if ctypes.CDLL(None, use_errno=True).unshare(CLONE_NEWNS) != 0:
        raise TestFailure(f"no {SEATS} and no mount namespace to make one in "
                          f"({os.strerror(ctypes.get_errno())})")
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    os.makedirs(os.path.dirname(SEATS), exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", os.path.dirname(SEATS)], check=True)
    os.makedirs(SEATS)


def stop_group(process):
    for signum in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, signum)
            process.wait(timeout=5)
            break
        except ProcessLookupError:
            break
        except subprocess.TimeoutExpired:
            continue
    try:  # children left in a group whose leader is gone
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def other_pids():
    return [int(entry) for entry in os.listdir("/proc")
            if entry.isdigit() and int(entry) != os.getpid()]


def environ_of(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return f.read()
    except OSError:
        return b""


def read_line(fd):
    deadline = time.monotonic() + STEP_TIMEOUT
    data = b""
    while not data.endswith(b"\n"):
        if time.monotonic() > deadline:
            raise TestFailure("timed out waiting for Xvfb's display number")
        if select.select([fd], [], [], 0.1)[0]:
            chunk = os.read(fd, 1)
            if not chunk:
                raise TestFailure(f"Xvfb closed its pipe before a display number ({data!r})")
            data += chunk
    return data.decode().strip()
