#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""veluna-server as the program and the internet meet it: real HTTP on a loopback port, the
database read back with SQL."""
import argparse
import http.client
import json
import os
import pwd
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

ARGS = None
HEADER_TIMEOUT = 2
RATE = 5
MAX_CONNECTIONS = 6
TABLES = ("devices", "conversations", "messages", "crash_groups", "crash_reports")


class SqliteBackend:
    def __init__(self, folder):
        self.path = os.path.join(folder, "veluna.db")

    def location(self):
        return self.path

    def sql(self, statement):
        with sqlite3.connect(self.path, timeout=10) as db:
            rows = db.execute(statement).fetchall()
        db.close()
        return [tuple("" if v is None else str(v) for v in row) for row in rows]

    def stop(self):
        pass


class PostgresqlBackend:
    """A cluster of its own, run by an unprivileged user, reached over a socket in a temp dir."""

    BIN = "/usr/lib/postgresql/15/bin"

    def __init__(self, folder):
        self.folder = folder
        user = pwd.getpwnam("postgres")
        os.chown(folder, user.pw_uid, user.pw_gid)
        data = os.path.join(folder, "data")
        self.ctl = ["runuser", "-u", "postgres", "--", self.BIN + "/pg_ctl", "-D", data]
        subprocess.run(["runuser", "-u", "postgres", "--", self.BIN + "/initdb", "-D", data,
                        "-A", "trust", "-U", "veluna"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(self.ctl + ["-w", "-l", os.path.join(folder, "log"), "-o",
                                   f"-k {folder} -c listen_addresses=", "start"],
                       check=True, stdout=subprocess.DEVNULL)

    def location(self):
        return f"postgresql://veluna@/postgres?host={self.folder}"

    def sql(self, statement):
        out = subprocess.run(["psql", "-h", self.folder, "-U", "veluna", "-d", "postgres", "-X",
                              "-q", "-At", "-F", "\x1f", "-R", "\x1e", "-c", statement],
                             check=True, capture_output=True, text=True).stdout
        return [tuple(row.split("\x1f")) for row in out.rstrip("\n").split("\x1e") if row]

    def stop(self):
        subprocess.run(self.ctl + ["-m", "fast", "stop"], stdout=subprocess.DEVNULL)


class Server:
    def __init__(self, folder, backend):
        self.config = os.path.join(folder, "server.conf")
        with open(self.config, "w") as conf:
            conf.write(f"listen=127.0.0.1\nport=0\ndatabase={backend.location()}\n"
                       f"header_timeout={HEADER_TIMEOUT}\nbody_timeout={HEADER_TIMEOUT}\n"
                       f"rate_per_minute={RATE}\nmax_connections={MAX_CONNECTIONS}\nthreads=2\n")
        self.process = subprocess.Popen([ARGS.server, "--config", self.config],
                                        stderr=subprocess.PIPE, text=True)
        line = self.process.stderr.readline()
        if "listening" not in line:
            raise RuntimeError("veluna-server did not start: " + line + self.process.stderr.read())
        self.port = int(line.split(" port ")[1].split()[0])

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        data = body if isinstance(body, (bytes, type(None))) else json.dumps(body).encode()
        connection.request(method, path, data, headers or {})
        response = connection.getresponse()
        result = (response.status, response.getheader("Retry-After"), response.read())
        connection.close()
        return result

    def post(self, path, body):
        status, _, data = self.request("POST", path, body)
        return status, (json.loads(data) if data else None)

    def open_connections(self):
        """The server's accepted connections not yet closed on its side (established, or
        closed by the client and not yet by the server)."""
        with open("/proc/net/tcp") as table:
            rows = [line.split() for line in table.readlines()[1:]]
        return sum(1 for row in rows if int(row[1].split(":")[1], 16) == self.port
                   and row[3] in ("01", "08"))

    def rss_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return next(int(l.split()[1]) for l in status if l.startswith("VmRSS:"))

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=15)
        self.process.stderr.close()
        return code


SYNC, REPORT, CRASH, FEED = "/api/veluna/sync", "/api/veluna/report", "/api/veluna/crash", \
    "/veluna/appcast.xml"


def identity(device, **more):
    return dict({"d": device, "v": "1.0.0", "os": "debian 12"}, **more)


def stack(build, *functions):
    return "\n".join(f"/home/{build}/veluna/build/bin/veluna({name}+0x{len(build) * 7:x}) "
                     f"[0x55{len(build):04x}c0ffee{i}]" for i, name in enumerate(functions))


class MakerServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="makerserver-")
        cls.backend = (SqliteBackend if ARGS.backend == "sqlite" else PostgresqlBackend)(cls.folder)
        cls.server = Server(cls.folder, cls.backend)

    @classmethod
    def tearDownClass(cls):
        if cls.server.process.poll() is None:
            cls.server.stop()
        cls.backend.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def wait_for(self, condition, seconds=5.0):
        deadline = time.monotonic() + seconds
        while not condition():
            self.assertLess(time.monotonic(), deadline, "timed out")
            time.sleep(0.02)

    def sql(self, statement):
        return self.backend.sql(statement)

    def row_counts(self):
        return [self.sql(f"SELECT COUNT(*) FROM {table}") for table in TABLES]

    def sync(self, device, **more):
        return self.server.post(SYNC, identity(device, c="direct", **more))

    def add_maker_message(self, device, text):
        return int(self.sql(f"INSERT INTO messages(device, author, body, created_at) "
                            f"VALUES ('{device}', 'maker', '{text}', 1) RETURNING id")[0][0])

    def test_sync_records_the_device_and_offers_nothing_before_a_conversation(self):
        self.assertEqual(self.sync("dev-new"), (200, {"mid": 0, "msg": "", "tk": "none"}))
        self.server.post(SYNC, {"d": "dev-new", "v": "1.1.0", "os": "debian 13"})
        self.assertEqual(self.sql("SELECT version, os, first_seen <= last_seen FROM devices "
                                  "WHERE id = 'dev-new'"), [("1.1.0", "debian 13", self.true())])

    def true(self):
        return "1" if ARGS.backend == "sqlite" else "t"

    def test_report_stores_the_text_and_opens_the_conversation(self):
        for device, extra, email in (("dev-mail", {"email": " me@example.org"}, " me@example.org"),
                                     ("dev-nomail", {}, "")):
            with self.subTest(device=device):
                body = identity(device, text="It stopped\nkeeping awake", **extra)
                self.assertEqual(self.server.post(REPORT, body), (200, {"ok": True}))
                self.assertEqual(self.sql(f"SELECT author, body, COALESCE(email, '') FROM messages "
                                          f"WHERE device = '{device}'"),
                                 [("user", "It stopped\nkeeping awake", email)])
                self.assertEqual(self.sync(device)[1]["tk"], "open")

    def test_sync_offers_the_oldest_unacknowledged_maker_message_of_its_own_device(self):
        first = self.add_maker_message("dev-ack", "first")
        second = self.add_maker_message("dev-ack", "second")
        other = self.add_maker_message("dev-other", "not yours")
        self.assertEqual(self.sync("dev-ack")[1]["mid"], first)
        self.assertEqual(self.sync("dev-ack")[1]["mid"], first, "offered until acknowledged")
        self.assertEqual(self.sync("dev-ack", m=other)[1]["mid"], first, "another device's id")
        self.assertEqual(self.sync("dev-ack", m=first)[1], {"mid": second, "msg": "second",
                                                             "tk": "none"})
        self.assertEqual(self.sync("dev-ack", m=second)[1]["mid"], 0)
        self.assertEqual(self.sql(f"SELECT id FROM messages WHERE delivered_at IS NULL "
                                  f"AND id IN ({first}, {second}, {other})"), [(str(other),)])

    def test_a_closed_conversation_reads_closed_until_the_user_writes_again(self):
        self.server.post(REPORT, identity("dev-close", text="help"))
        self.sql("UPDATE conversations SET state = 'closed' WHERE device = 'dev-close'")
        self.assertEqual(self.sync("dev-close")[1]["tk"], "closed")
        self.server.post(REPORT, identity("dev-close", text="still broken"))
        self.assertEqual(self.sync("dev-close")[1]["tk"], "open")

    def test_crashes_group_by_fault_across_builds(self):
        reports = (("build-1", "SIGSEGV", ("_ZN5Timer4tickEv", "_ZN6Engine4stopEv", "main")),
                   ("ci-runner-22", "SIGSEGV", ("_ZN5Timer4tickEv", "_ZN6Engine4stopEv", "main")),
                   ("build-1", "SIGABRT", ("abort", "_ZN6Engine4stopEv", "main")))
        for build, message, functions in reports:
            body = identity("dev-crash-" + build, kind="crash", message=message,
                            stack=stack(build, *functions))
            self.assertEqual(self.server.request("POST", CRASH, body)[0::2], (204, b""))
        self.assertEqual(self.sql("SELECT message, report_count FROM crash_groups WHERE message "
                                  "LIKE 'SIG%' ORDER BY message"), [("SIGABRT", "1"), ("SIGSEGV", "2")])
        self.assertEqual(self.sql("SELECT COUNT(*) FROM crash_reports WHERE device LIKE "
                                  "'dev-crash-%'"), [("3",)])

    def test_statuses_of_paths_and_methods(self):
        cases = (("GET", "/", None, 404), ("POST", "/api/veluna/sync/x", b"{}", 404),
                 ("GET", SYNC, None, 405), ("POST", FEED, b"{}", 405), ("PUT", REPORT, b"{}", 405))
        for method, path, body, status in cases:
            with self.subTest(method=method, path=path):
                self.assertEqual(self.server.request(method, path, body)[0], status)
        status, _, feed = self.server.request("GET", FEED)
        self.assertEqual((status, ElementTree.fromstring(feed).tag), (200, "rss"))

    def test_malformed_requests_get_400_and_store_nothing(self):
        good = {SYNC: identity("dev-bad", c="direct"), REPORT: identity("dev-bad", text="t"),
                CRASH: identity("dev-bad", kind="crash", message="m", stack="s")}
        cases = [(path, b"not json") for path in good] + [(path, b"[]") for path in good]
        for path, body in good.items():
            for key in body:
                cases.append((path, dict(body, **{key: 7})))  # a number for a string
                if key != "c":  # the one optional member of these bodies
                    cases.append((path, {k: v for k, v in body.items() if k != key}))
            cases.append((path, dict(body, d="x" * 129)))  # oversize
            cases.append((path, json.dumps(body).replace('"dev-bad"', '"dev-\xff"').encode(
                "latin-1")))  # not UTF-8
        cases += [(SYNC, dict(good[SYNC], m="3")), (SYNC, dict(good[SYNC], m=1.5)),
                  (REPORT, dict(good[REPORT], email=None))]
        before = self.row_counts()
        for path, body in cases:
            with self.subTest(path=path, body=body):
                self.assertEqual(self.server.request("POST", path, body)[0], 400)
        self.assertEqual(self.row_counts(), before)

    def test_sql_metacharacters_are_stored_literally(self):
        hostile = "'; DROP TABLE messages; --"
        self.assertEqual(self.server.post(REPORT, identity("dev-'quote", text=hostile))[0], 200)
        self.assertEqual(self.sql("SELECT device, body FROM messages WHERE body LIKE '%DROP%'"),
                         [("dev-'quote", hostile)])

    def test_bodies_over_the_limit_get_413_before_they_are_read(self):
        big_stack = identity("dev-big", kind="crash", message="m", stack="f\n" * 50000)
        self.assertEqual(self.server.request("POST", SYNC, dict(big_stack, c="direct"))[0], 413)
        self.assertEqual(self.server.request("POST", CRASH, big_stack)[0], 204,
                         "crash reports have a larger limit")
        before = self.server.rss_kib()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as raw:
            raw.sendall(f"POST {SYNC} HTTP/1.1\r\nHost: x\r\nContent-Length: {10 << 20}\r\n\r\n"
                        .encode())
            try:
                for _ in range(160):
                    raw.sendall(b"x" * 65536)
            except (BrokenPipeError, ConnectionResetError):
                pass
            answer = raw.recv(4096)
        self.assertTrue(answer.startswith(b"HTTP/1.1 413"), answer)
        self.assertLess(self.server.rss_kib() - before, 1024)

    def test_a_client_dripping_its_header_is_cut_off(self):
        started = time.monotonic()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as raw:
            try:
                for byte in f"POST {SYNC} HTTP/1.1\r\nHost: 127.0.0.1\r\n".encode():
                    raw.send(bytes([byte]))
                    time.sleep(1)
                    if time.monotonic() - started > HEADER_TIMEOUT + 5:
                        break
                closed = raw.recv(1) == b""
            except (BrokenPipeError, ConnectionResetError):
                closed = True
        self.assertTrue(closed)
        self.assertLess(time.monotonic() - started, HEADER_TIMEOUT + 2.5)

    def test_a_device_over_its_rate_gets_429_with_retry_after(self):
        for _ in range(RATE):
            self.assertEqual(self.sync("dev-flood")[0], 200)
        status, retry_after, _ = self.server.request("POST", REPORT, identity("dev-flood", text="x"))
        self.assertEqual(status, 429)
        self.assertGreaterEqual(int(retry_after), 1)
        self.assertEqual(self.sync("dev-calm")[0], 200)
        self.assertEqual(self.sql("SELECT COUNT(*) FROM messages WHERE device = 'dev-flood'"),
                         [("0",)])

    def test_connections_beyond_the_cap_are_closed(self):
        def kept_alive():
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=5)
            connection.request("GET", FEED)
            connection.getresponse().read()  # answered, so admitted, and kept open
            return connection
        # The connections of earlier cases still count until the server has closed its side.
        self.wait_for(lambda: self.server.open_connections() == 0)
        held = [kept_alive() for _ in range(MAX_CONNECTIONS)]
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=5) as extra:
            try:
                extra.sendall(f"GET {FEED} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                answer = extra.recv(100)
            except ConnectionResetError:  # closed with our request unread
                answer = b""
            self.assertEqual(answer, b"")
        for connection in held:
            connection.close()
        self.wait_for(lambda: self.server.open_connections() == 0)
        self.assertEqual(self.server.request("GET", FEED)[0], 200)

    def test_zz_sigterm_finishes_the_request_under_way_then_exits_0(self):
        body = json.dumps(identity("dev-term", text="sent during shutdown")).encode()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as raw:
            raw.sendall(f"POST {REPORT} HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n\r\n"
                        .encode() + body[:10])
            time.sleep(0.3)
            self.server.process.send_signal(signal.SIGTERM)
            time.sleep(0.3)
            raw.sendall(body[10:])
            self.assertTrue(raw.recv(4096).startswith(b"HTTP/1.1 200"))
        self.assertEqual(self.server.process.wait(timeout=10), 0)
        log = self.server.process.stderr.read().splitlines()
        self.assertEqual([line for line in log if "NOTICE" in line], [], "no database chatter")
        self.assertEqual(self.sql("SELECT body FROM messages WHERE device = 'dev-term'"),
                         [("sent during shutdown",)])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--backend", choices=("sqlite", "postgresql"), required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
