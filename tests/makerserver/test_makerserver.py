#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""veluna-server as the program and the internet meet it: real HTTP on a loopback port, the
database read back with SQL."""
import argparse
import contextlib
import http.client
import json
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ARGS = None
TIMEOUT, RATE, MAX_CONNECTIONS = 2, 10, 6
SYNC, REPORT, CRASH = "/api/veluna/sync", "/api/veluna/report", "/api/veluna/crash"
FEED = "/veluna/appcast.xml"
TABLES = ("devices", "conversations", "messages", "crash_groups", "crash_reports")


def wait_for(condition, what, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)


def identity(device, **more):
    return dict({"d": device, "v": "1.0.0", "os": "debian 12"}, **more)


class Sqlite:
    def __init__(self, folder):
        self.location = os.path.join(folder, "veluna.db")

    def sql(self, statement):
        with contextlib.closing(sqlite3.connect(self.location, timeout=10)) as db, db:
            return [tuple("" if v is None else str(v) for v in row) for row in db.execute(statement)]

    def stop(self):
        pass


class Postgresql:
    """A cluster of its own, run by an unprivileged user, reached over a socket in a temp dir."""

    def __init__(self, folder):
        self.folder = folder
        self.location = f"postgresql://veluna@/postgres?host={folder}"
        shutil.chown(folder, "postgres", "postgres")
        tools, as_postgres = "/usr/lib/postgresql/15/bin/", ["runuser", "-u", "postgres", "--"]
        data = os.path.join(folder, "data")
        self.ctl = as_postgres + [tools + "pg_ctl", "-D", data]
        subprocess.run(as_postgres + [tools + "initdb", "-D", data, "-A", "trust", "-U", "veluna"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(self.ctl + ["-w", "-l", os.path.join(folder, "log"), "-o",
                                   f"-k {folder} -c listen_addresses=", "start"],
                       check=True, stdout=subprocess.DEVNULL)

    def sql(self, statement):
        out = subprocess.run(["psql", "-h", self.folder, "-U", "veluna", "-d", "postgres", "-XqAt",
                              "-F", "\x1f", "-R", "\x1e", "-c", statement],
                             check=True, capture_output=True, text=True).stdout
        return [tuple(row.split("\x1f")) for row in out.rstrip("\n").split("\x1e") if row]

    def stop(self):
        subprocess.run(self.ctl + ["-m", "fast", "stop"], stdout=subprocess.DEVNULL)


class Server:
    def __init__(self, folder, database):
        config, self.log = os.path.join(folder, "server.conf"), os.path.join(folder, "server.log")
        with open(config, "w") as conf:
            conf.write(f"listen=127.0.0.1\nport=0\ndatabase={database.location}\nthreads=2\n"
                       f"header_timeout={TIMEOUT}\nbody_timeout={TIMEOUT}\n"
                       f"rate_per_minute={RATE}\nmax_connections={MAX_CONNECTIONS}\n")
        with open(self.log, "w") as log:
            self.process = subprocess.Popen([ARGS.server, "--config", config], stderr=log)
        wait_for(lambda: " port " in self.read_log() or self.process.poll() is not None, "start")
        if " port " not in self.read_log():
            raise RuntimeError("veluna-server did not start: " + self.read_log())
        self.port = int(self.read_log().split(" port ")[1].split()[0])

    def read_log(self):
        return Path(self.log).read_text()

    def request(self, method, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request(method, path, body if isinstance(body, (bytes, type(None)))
                           else json.dumps(body).encode())
        with contextlib.closing(connection), connection.getresponse() as response:
            return response.status, response.getheader("Retry-After"), response.read()

    def post(self, path, body):
        status, _, data = self.request("POST", path, body)
        return status, (json.loads(data) if data else None)

    def connections(self):
        """The unread bytes of each accepted connection the server has not closed on its side
        (established, or closed by the client only)."""
        rows = [line.split() for line in Path("/proc/net/tcp").read_text().splitlines()[1:]]
        return [int(row[4].split(":")[1], 16) for row in rows
                if int(row[1].split(":")[1], 16) == self.port and row[3] in ("01", "08")]

    def rss_kib(self):
        status = Path(f"/proc/{self.process.pid}/status").read_text()
        return int(status.split("VmRSS:")[1].split()[0])

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=15)


class MakerServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="makerserver-")
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        cls.db = (Sqlite if ARGS.backend == "sqlite" else Postgresql)(cls.folder)
        cls.addClassCleanup(cls.db.stop)
        cls.server = Server(cls.folder, cls.db)
        cls.addClassCleanup(cls.server.stop)

    def sync(self, device, **more):
        return self.server.post(SYNC, identity(device, c="direct", **more))

    def raw(self):
        return socket.create_connection(("127.0.0.1", self.server.port), timeout=10)

    def test_sync_offers_the_oldest_unacknowledged_maker_message_of_its_own_device(self):
        first, second, other = (int(self.db.sql(
            f"INSERT INTO messages(device, author, body, created_at) VALUES ('{device}', 'maker', "
            f"'{text}', 1) RETURNING id")[0][0]) for device, text in (
                ("dev-ack", "first"), ("dev-ack", "second"), ("dev-other", "not yours")))
        # The first offer without an acknowledgement is meet_server's (the maker's reply arrives).
        self.assertEqual(self.sync("dev-ack", m=other)[1]["mid"], first, "another device's id")
        self.assertEqual(self.sync("dev-ack", m=first)[1], {"mid": second, "msg": "second",
                                                             "tk": "none"})
        self.assertEqual(self.sync("dev-ack", m=second)[1]["mid"], 0)
        self.assertEqual(self.sync("dev-other")[1]["mid"], other, "acknowledged by another device")

    def test_a_device_id_with_sql_metacharacters_is_stored_as_itself(self):
        device = "dev-'); DELETE FROM devices; --"
        self.assertEqual(self.server.post(REPORT, identity("dev-plain", text="kept"))[1],
                         {"ok": True})  # rows the hostile id would delete
        before = {table: set(self.db.sql(f"SELECT * FROM {table}")) for table in TABLES}
        self.assertTrue(all(before[table] for table in TABLES[:3]))
        self.assertEqual(self.server.post(REPORT, identity(device, text="x"))[1], {"ok": True})
        self.assertEqual(self.sync(device)[1]["tk"], "open")  # found again by that id
        after = {table: set(self.db.sql(f"SELECT * FROM {table}")) for table in TABLES}
        # Every earlier row is still there as it was; the new ones are the device's (its id
        # comes second in messages).
        self.assertTrue(all(before[table] <= after[table] for table in TABLES))
        self.assertEqual([[row[table == "messages"] for row in after[table] - before[table]]
                          for table in TABLES], [[device]] * 3 + [[]] * 2)

    def test_refused_requests_store_nothing(self):
        good = {SYNC: identity("dev-bad", c="direct"), REPORT: identity("dev-bad", text="t"),
                CRASH: identity("dev-bad", kind="crash", message="m", stack="s")}
        cases = [("POST", "/api/veluna/sync/x", b"{}", 404), ("GET", SYNC, None, 405),
                 ("POST", SYNC, dict(good[SYNC], stack="f\n" * 50000), 413)]
        for path, body in good.items():
            bad = [b"not json", b"[]", dict(body, d="x" * 129),  # the last one oversize
                   json.dumps(body).replace('"dev-bad"', '"dev-\xff"').encode("latin-1")]
            bad += [dict(body, **{key: 7}) for key in body]  # a number for a string
            bad += [{k: v for k, v in body.items() if k != key} for key in body if key != "c"]
            cases += [("POST", path, wrong, 400) for wrong in bad]
        cases.append(("POST", SYNC, dict(good[SYNC], m=1.5), 400))
        before = [self.db.sql(f"SELECT COUNT(*) FROM {table}") for table in TABLES]
        for method, path, body, status in cases:
            with self.subTest(method=method, path=path, body=str(body)[:100]):
                self.assertEqual(self.server.request(method, path, body)[0], status)
        self.assertEqual([self.db.sql(f"SELECT COUNT(*) FROM {table}") for table in TABLES], before)

    def test_a_body_over_the_limit_gets_413_before_it_is_read(self):
        before = self.server.rss_kib()
        with self.raw() as raw:
            raw.sendall(f"POST {SYNC} HTTP/1.1\r\nHost: x\r\nContent-Length: {10 << 20}\r\n\r\n"
                        .encode())
            with contextlib.suppress(BrokenPipeError, ConnectionResetError):
                for _ in range(160):
                    raw.sendall(b"x" * 65536)
            answer = raw.recv(4096)
        self.assertTrue(answer.startswith(b"HTTP/1.1 413"), answer)
        self.assertLess(self.server.rss_kib() - before, 1024)

    def test_a_client_dripping_its_header_is_cut_off(self):
        started = time.monotonic()
        with self.raw() as raw, contextlib.suppress(BrokenPipeError, ConnectionResetError):
            for byte in f"POST {SYNC} HTTP/1.1\r\nHost: 127.0.0.1\r\n".encode():
                raw.send(bytes([byte]))
                time.sleep(1)  # the pace of the drip
                if time.monotonic() - started > TIMEOUT + 5:
                    break
            self.assertEqual(raw.recv(1), b"")
        self.assertLess(time.monotonic() - started, TIMEOUT + 2.5)

    def test_a_device_over_its_rate_gets_429_with_retry_after(self):
        for _ in range(RATE):
            self.assertEqual(self.sync("dev-flood")[0], 200)
        status, retry_after, _ = self.server.request("POST", REPORT, identity("dev-flood", text="x"))
        self.assertEqual((status, int(retry_after or 0) >= 1), (429, True))
        self.assertEqual(self.sync("dev-calm")[0], 200)
        self.assertEqual(self.db.sql("SELECT COUNT(*) FROM messages WHERE device = 'dev-flood'"),
                         [("0",)])

    def test_connections_beyond_the_cap_are_closed(self):
        def kept_alive():
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=5)
            connection.request("GET", FEED)
            connection.getresponse().read()  # answered, so admitted, and kept open
            return connection
        # The connections of earlier cases still count until the server has closed its side.
        wait_for(lambda: not self.server.connections(), "earlier connections to close")
        held = [kept_alive() for _ in range(MAX_CONNECTIONS)]
        with self.raw() as extra:
            answer = b""  # stays so when the server resets with our request unread
            with contextlib.suppress(ConnectionResetError):
                extra.sendall(f"GET {FEED} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                answer = extra.recv(100)
            self.assertEqual(answer, b"")
        for connection in held:
            connection.close()
        # Refused, not queued, beyond the cap: the next case's requests need these gone.
        wait_for(lambda: not self.server.connections(), "the held connections to close")

    def test_zz_sigterm_finishes_the_request_under_way_then_exits_0(self):
        body = json.dumps(identity("dev-term", text="sent during shutdown")).encode()
        request = f"POST {REPORT} HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n\r\n"
        with self.raw() as raw:
            # Cut inside the header: a request the server has read part of is under way.
            raw.sendall(request[:20].encode())
            wait_for(lambda: self.server.connections() == [0], "the server to read the start")
            self.server.process.send_signal(signal.SIGTERM)
            wait_for(lambda: "stopping" in self.server.read_log(), "the server to stop accepting")
            raw.sendall(request[20:].encode() + body)
            self.assertTrue(raw.recv(4096).startswith(b"HTTP/1.1 200"))
        self.assertEqual(self.server.process.wait(timeout=10), 0)
        self.assertEqual(self.db.sql("SELECT body FROM messages WHERE device = 'dev-term'"),
                         [("sent during shutdown",)])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--backend", choices=("sqlite", "postgresql"), required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
