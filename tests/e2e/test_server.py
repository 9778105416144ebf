"""kyrdecrypt-server on its own: every request the client sends, and what it refuses."""

import http.client
import json
import os
import socket
import sqlite3
import ssl
import struct
import subprocess
import sys
import threading
import time
import unittest
import zlib

from harness import E2ETestCase

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_packages as packages  # noqa: E402


def read_until_closed(connection):
    """Every byte the peer sends until it closes or resets the connection (or the read times out)."""
    answer = b""
    try:
        while chunk := connection.recv(65536):
            answer += chunk
    except (OSError, ssl.SSLError):
        pass
    return answer


class ServerTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.package = os.urandom(200_000)
        self.add_package_file("decryptors", "stampado", "1.9.0", b"old")
        self.add_package_file("decryptors", "stampado", "1.10.0", self.package)
        self.add_package_file("libraries", "cryptolib", "2.1", b"library bytes")
        self.add_package_file("runtimes", "python", "3.11.4", b"runtime bytes")
        self.start_server()

    def assert_answer(self, path, status, body=None, method="GET", payload=None):
        got_status, headers, got_body = self.request(method, path, payload)
        self.assertEqual(got_status, status, (path, got_body))
        # The client reads nothing without a Content-Length.
        self.assertEqual(headers.get("Content-Length"), str(len(got_body)), headers)
        self.assertNotIn("Transfer-Encoding", headers)
        if body is not None:
            self.assertEqual(got_body, body)
        return got_body

    def raw_exchange(self, data, source=None):
        """Sends `data` as it is over TLS and reads until the server closes (bounded); returns the bytes."""
        context = ssl.create_default_context(cafile=self.config["ca_cert"])
        with socket.create_connection(("127.0.0.1", self.port), timeout=10,
                                      source_address=(source, 0) if source else None) as raw:
            with context.wrap_socket(raw, server_hostname="127.0.0.1") as connection:
                if not data:
                    return b""
                try:  # a server that refuses a body may close before it is all sent
                    connection.sendall(data)
                except (OSError, ssl.SSLError):
                    pass
                return read_until_closed(connection)

    def test_list_is_the_published_list(self):
        body = self.assert_answer("/package/list/0.0.0", 200)
        self.assertEqual(body, b'{"packages":[{"name":"stampado","versions":["1.9.0","1.10.0"]}],"version":"1.0.0"}')

    def test_identification_index_is_served_once_kyrpack_hints_signed_it(self):
        self.assert_answer("/package/identify/0.0.0", 404)
        self.kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                     "--decryptor", "stampado", "--extension", ".stampado", "--marker", "0:4B59")
        body = self.assert_answer("/package/identify/0.0.0", 200)
        form, payload_length, signature_length = struct.unpack("<BQI", body[:13])
        self.assertEqual((form, 13 + payload_length + signature_length), (1, len(body)))
        payload = body[13:13 + payload_length]
        self.assertEqual(json.loads(payload), {"version": "1", "families": [
            {"decryptor": "stampado", "family": "stampado", "extensions": [".stampado"], "notes": [],
             "markers": [{"offset": 0, "hex": "4b59"}]}]})
        # The signature is stored least significant byte first; openssl wants it the other way round.
        files = {name: os.path.join(self.work, name) for name in ("payload", "signature", "public.pem")}
        for name, content in (("payload", payload), ("signature", body[13 + payload_length:][::-1])):
            with open(files[name], "wb") as out:
                out.write(content)
        subprocess.run(["openssl", "rsa", "-RSAPublicKey_in", "-in", self.config["signing_public_key"], "-pubout",
                        "-out", files["public.pem"]], check=True, capture_output=True)
        verified = subprocess.run(["openssl", "dgst", "-sha1", "-verify", files["public.pem"], "-signature",
                                   files["signature"], files["payload"]], capture_output=True, text=True)
        self.assertEqual(verified.stdout, "Verified OK\n", verified.stderr)

    def test_latest_version_is_exactly_the_version_text(self):
        self.assert_answer("/package/query/latestver/64/stampado", 200, b"1.10.0")
        self.assert_answer("/package/query/latestver/64/unknown", 404)
        self.assert_answer("/package/query/latestver/64/cryptolib", 404)

    def test_downloads_of_every_kind(self):
        self.assert_answer("/package/download/64/stampado/1.9.0", 200, self.framed(b"old"))
        self.assert_answer("/package/download/64/stampado/1.10.0", 200, self.framed(self.package))
        self.assert_answer("/package/download/64/stampado", 200, self.framed(self.package))
        self.assert_answer("/library/download/64/cryptolib/2.1", 200, self.framed(b"library bytes"))
        self.assert_answer("/runtime/download/64/python/3.11.4", 200, self.framed(b"runtime bytes"))
        self.assert_answer("/library/download/64/cryptolib/0.0.0", 200, self.framed(b"library bytes"))
        self.assert_answer("/runtime/download/64/python/0.0.0", 200, self.framed(b"runtime bytes"))
        for missing in ("/package/download/64/stampado/2.0", "/package/download/64/nothing",
                        "/library/download/64/cryptolib/2.2", "/runtime/download/64/cryptolib/2.1",
                        "/package/download/32/stampado/1.9.0", "/unknown"):
            self.assert_answer(missing, 404)

    def test_names_that_could_leave_the_repository_are_refused(self):
        secret = os.path.join(self.work, "secret", "1", "secret.kpkg")
        os.makedirs(os.path.dirname(secret))
        with open(secret, "wb") as out:
            out.write(b"outside")
        for path in ("/package/download/64/..", "/package/download/64/%2e%2e/1",
                     "/library/download/64/..%2f..%2fsecret/1", "/package/download/64/a%5cb/1",
                     "/package/download/64/stampado%00/1.9.0", "/package/query/latestver/64/.."):
            status, _, body = self.request("GET", path)
            self.assertIn(status, (400, 404), path)
            self.assertNotEqual(body, b"outside")
        self.assert_answer("/package/download/64/..", 400)
        self.assert_answer("/package/download/64/stampado/%2e%2e", 400)

    def test_telemetry_is_stored_only_when_it_is_one_json_object_of_at_most_16383_bytes(self):
        report = json.dumps({"machine": "{ABC}", "padding": "x" * 100}).encode()
        largest = b'{"a":"' + b"y" * 16375 + b'"}'
        self.assert_answer("/telemetry/upload", 200, method="PUT", payload=report)
        self.assert_answer("/telemetry/upload", 200, method="PUT", payload=largest)
        for refused in (b"not json", largest + b" ", b"", b"42", b"null", b'"text"', b'{"a":1}\x00tail}',
                        b'{"a":1}\x00\xff}', b"\xef\xbb\xbf{}", b'{"a":"\xc0\xaf"}'):
            self.assert_answer("/telemetry/upload", 400, method="PUT", payload=refused)
        # What was answered with 200 is on disk even when the server gets no chance to close it.
        self.server.process.kill()
        self.server.process.wait()
        with sqlite3.connect(self.database) as database:
            rows = database.execute("SELECT received_utc, body FROM reports ORDER BY id").fetchall()
        self.assertEqual([body for _, body in rows], [report.decode(), largest.decode()])
        self.assertRegex(rows[0][0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")

    def test_upload_bodies_are_bounded_whatever_their_framing(self):
        def peak_kib():
            with open(f"/proc/{self.server.process.pid}/status") as status:
                return int(next(line for line in status if line.startswith("VmHWM:")).split()[1])
        before = peak_kib()
        # 300 MiB announced piece by piece: refused once the pieces pass the bound.
        head = b"PUT /telemetry/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
        piece = b"%x\r\n%s\r\n" % (1 << 20, b" " * (1 << 20))
        answer = self.raw_exchange(head + piece * 300 + b"0\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:100])
        self.assertLess(peak_kib() - before, 16 * 1024)
        self.assertEqual(self.request("PUT", "/telemetry/upload", b"{" + b" " * 70000 + b"}")[0], 413)
        # 64 MiB of zeros deflate to about 64 KiB: an encoded body is refused, not inflated.
        bomb = zlib.compressobj(9, zlib.DEFLATED, 31)
        packed = bomb.compress(b"0" * (64 << 20)) + bomb.flush()
        head = (b"PUT /telemetry/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Encoding: gzip\r\n"
                b"Content-Length: %d\r\n" % len(packed))
        # Asked first, the server refuses before any of the body is sent ...
        answer = self.raw_exchange(head + b"Expect: 100-continue\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 415 "), answer[:100])
        # ... and sent anyway, the body is never inflated. The server may close before it is all
        # sent, and an answer the reset overtakes is lost, so only the server's memory is judged.
        for _ in range(3):
            self.raw_exchange(head + b"\r\n" + packed)
        self.assertLess(peak_kib() - before, 16 * 1024)
        self.assertEqual(self.request("GET", "/package/query/latestver/64/stampado")[0], 200)

    def test_only_regular_files_of_the_tree_are_served_whole(self):
        old = self.framed(b"old")
        self.assert_answer("/package/download/64/stampado/1.9.0", 200, old)
        for ranges in ("bytes=100-200", "bytes=0-0,2-2", "bytes=-1"):
            status, headers, body = self.request("GET", "/package/download/64/stampado/1.9.0", headers={"Range": ranges})
            self.assertEqual((status, headers.get("Content-Length"), body), (200, str(len(old)), old), ranges)
        inside = self.package_path("decryptors", "stampado", "1.9.0")
        os.symlink("/etc/passwd", os.path.join(os.path.dirname(inside), "9.9.9"))
        os.symlink(inside, os.path.join(os.path.dirname(inside), "1.9.1"))
        self.assert_answer("/package/download/64/stampado/1.9.1", 200, old)
        for path in ("/package/download/64/stampado/9.9.9", "/package/download/64/stampado/.",
                     "/package/query/latestver/64/.", "/package/download/64/./."):
            self.assert_answer(path, 404)

    def test_the_log_escapes_what_the_request_holds(self):
        self.raw_exchange(b"G\x1bT /package/list/0.0.0 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        self.raw_exchange(b"GET /a\x1b[2J\\x41 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        # The first is refused unparsed (unknown method), so no path was read.
        self.assertEqual(self.server.requests(2), ["G\\x1bT  400 10", "GET /a\\x1b[2J\\x5cx41 404 10"])

    def test_a_malformed_request_is_logged_with_its_client(self):
        host = b"Host: 127.0.0.1\r\n"
        cases = [  # what is sent, and its log line
            (b"G\x1bT /package/list/0.0.0 HTTP/1.1\r\n" + host + b"\r\n", "G\\x1bT  400 10"),
            # These the HTTP library answers itself, before the routes see them.
            (b"GET /a\x1b HTTP/1.1\r\n" + host + b"no colon here\r\n\r\n", "- /a\\x1b - -"),
            (b"GET /big HTTP/1.1\r\n" + host + b"X: " + b"x" * 70000 + b"\r\n\r\n", "- /big - -"),
            # A request line it cannot parse, bytes that are not HTTP, and nothing at all.
            (b"GET /package/list/0.0.0\r\n" + host + b"\r\n", "- - - -"),
            (b"GET /package/list/0.0.0 HTTP/9.9\r\n" + host + b"\r\n", "- - - -"),
            (b"\x16\x03\x01\x00\r\n\r\n", "- - - -"),
            (b"", "- - - -"),
        ]
        for number, (data, _) in enumerate(cases, start=1):
            self.raw_exchange(data, source=f"127.0.0.{number + 4}")
        # A line is written when the answer is out or the connection closed, by the thread that served it.
        self.assertEqual(sorted(self.server.requests(len(cases), with_client=True)),
                         sorted(f"127.0.0.{n + 4} {line}" for n, (_, line) in enumerate(cases, start=1)))

    def test_one_log_line_per_request(self):
        self.request("GET", "/package/query/latestver/64/stampado")
        self.request("GET", "/package/download/64/nothing")
        self.request("PUT", "/telemetry/upload", b"{}")
        # Each is logged once its answer is sent, by the thread that served it: a later request
        # on another thread may be logged first.
        self.assertEqual(sorted(self.server.requests(3)), [
            "GET /package/download/64/nothing 404 16",
            "GET /package/query/latestver/64/stampado 200 6",
            "PUT /telemetry/upload 200 7",
        ])


class ServerLimitsTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.start_server(options=("--reports-per-minute", "2", "--timeout", "1"))
        self.context = ssl.create_default_context(cafile=self.config["ca_cert"])

    def test_reports_beyond_the_limit_per_minute_are_refused(self):
        statuses = []
        for _ in range(3):
            connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context, timeout=30)
            connection.request("PUT", "/telemetry/upload", body=b"{}")
            response = connection.getresponse()
            statuses.append((response.status, response.getheader("Content-Length"), len(response.read())))
            connection.close()
        self.assertEqual([s for s, _, _ in statuses], [200, 200, 429])
        self.assertEqual(statuses[2][1], str(statuses[2][2]))
        with sqlite3.connect(self.database) as database:
            self.assertEqual(database.execute("SELECT COUNT(*) FROM reports").fetchone()[0], 2)

    def test_a_client_that_stops_sending_is_cut_off(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=30) as raw:
            with self.context.wrap_socket(raw, server_hostname="127.0.0.1") as connection:
                connection.sendall(b"GET /package/list/0.0.0 HTTP/1.1\r\nHost: 127.0.0.1\r\n")
                started = time.monotonic()
                answer = read_until_closed(connection)
                # The library's own default would wait 5 seconds.
                self.assertLess(time.monotonic() - started, 4.5)
                self.assertNotIn(b" 200 ", answer)

    def test_a_second_server_on_the_same_port_refuses_to_start(self):
        done = subprocess.run(self.server_arguments(), capture_output=True, text=True, timeout=30)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout, "")
        self.assertEqual(done.stderr, "kyrdecrypt-server: cannot listen on 127.0.0.1:%d: the port is already in use\n"
                         % self.port)


class ServerThreadsTest(E2ETestCase):
    THREADS = 4

    def setUp(self):
        super().setUp()
        self.start_server(options=("--threads", str(self.THREADS), "--timeout", "60"))
        self.context = ssl.create_default_context(cafile=self.config["ca_cert"])

    def keep_alive_request(self):
        """Sends one request and reads its answer; the connection stays open unless the answer closes it."""
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context, timeout=30)
        self.addCleanup(connection.close)
        connection.request("GET", "/package/list/0.0.0")
        response = connection.getresponse()
        response.read()
        return response.getheader("Connection")

    def test_idle_keep_alive_connections_leave_threads_for_new_clients(self):
        answers = [self.keep_alive_request() for _ in range(self.THREADS + 1)]
        # An idle connection holds no thread, so none is asked to close.
        self.assertEqual(answers, [None] * (self.THREADS + 1))
        # Held threads would keep this client waiting as long as an idle connection may stay.
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context, timeout=4)
        connection.request("GET", "/package/list/0.0.0")
        self.assertEqual(connection.getresponse().status, 404)
        connection.close()


class ServerFloodTest(E2ETestCase):
    DEADLINE = 8  # seconds a request may take to arrive whole

    def setUp(self):
        super().setUp()
        # -get only downloads and unpacks: the files need not be loadable.
        stand_in = os.path.join(self.work, "stand-in.so")
        with open(stand_in, "wb") as out:
            out.write(b"not loaded")
        files = [self.pack("library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: stand_in}),
                 self.pack("decryptor", "echo", "1.0.0", *packages.echo_decryptor(stand_in))]
        self.kyrpack("publish", "--public", self.config["signing_public_key"], "--repo", self.repository, *files)
        self.start_server(options=("--threads", "2", "--request-timeout", str(self.DEADLINE)))
        self.context = ssl.create_default_context(cafile=self.config["ca_cert"])

    def connect(self, source, tls=False):
        connection = socket.create_connection(("127.0.0.1", self.port), timeout=30, source_address=(source, 0))
        if tls:
            connection = self.context.wrap_socket(connection, server_hostname="127.0.0.1")
        self.addCleanup(connection.close)
        return connection

    def dribble(self, connections, stop):
        """One more header byte on every connection every second, until told to stop."""
        while not stop.wait(1):
            for connection in connections:
                try:
                    connection.send(b"X")
                except (OSError, ssl.SSLError):
                    pass

    def test_slow_and_idle_clients_leave_room_for_others_and_slow_ones_are_cut_off(self):
        # 300 idle connections, 30 from each of ten addresses (below the per-address cap).
        idle = [self.connect(f"127.0.1.{n // 30 + 1}") for n in range(300)]
        slow = [self.connect("127.0.2.1", tls=True) for _ in range(8)]
        opened = time.monotonic()
        for connection in slow:
            connection.sendall(b"GET /package/list/0.0.0 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
        stop = threading.Event()
        dribbler = threading.Thread(target=self.dribble, args=(slow, stop))
        dribbler.start()
        self.addCleanup(dribbler.join)
        self.addCleanup(stop.set)
        self.assertEqual(self.run_client("-get", "echo"), packages.BANNER + packages.GETTING + packages.SUCCEEDED)
        self.assertEqual(self.request("GET", "/package/list/0.0.0")[0], 200)
        # Served while every slow and idle connection still stood.
        self.assertLess(time.monotonic() - opened, self.DEADLINE - 1)
        for connection in slow + idle[:1]:
            self.assertNotIn(b"HTTP/1.1", read_until_closed(connection))
        self.assertGreater(time.monotonic() - opened, self.DEADLINE - 1)
        self.assertLess(time.monotonic() - opened, self.DEADLINE + 3)


class ServerCommandLineTest(E2ETestCase):
    def run_server(self, *arguments):
        return subprocess.run([self.server_binary, *arguments], capture_output=True, text=True, timeout=30)

    def test_missing_or_bad_options_are_named_and_point_at_the_help(self):
        for arguments in ((), ("--address", "127.0.0.1"), ("--port", "x")):
            done = self.run_server(*arguments)
            self.assertEqual(done.returncode, 2)
            self.assertRegex(done.stderr, "^kyrdecrypt-server: [^\n]+\nRun with --help for more information.\n$")
            self.assertEqual(done.stdout, "")

    def test_unusable_files_are_named(self):
        common = ["--address", "127.0.0.1", "--port", "0", "--db", self.database]
        done = self.run_server(*common, "--cert", "/nonexistent.pem", "--key", "/nonexistent.pem",
                               "--repo", self.repository)
        self.assertEqual(done.returncode, 1)
        self.assertIn("cannot read certificate '/nonexistent.pem': No such file or directory", done.stderr)
        done = self.run_server(*common, "--cert", self.config["server_cert"], "--key", self.config["server_key"],
                               "--repo", os.path.join(self.work, "missing"))
        self.assertEqual(done.returncode, 1)
        self.assertIn("repository folder", done.stderr)


if __name__ == "__main__":
    unittest.main()
