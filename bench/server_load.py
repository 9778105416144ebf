#!/usr/bin/env python3
"""Drives kyrdecrypt-server on 127.0.0.1 with wrk: package downloads and telemetry uploads.

One bounded run (--seconds per target, a few minutes in all with the defaults), each with
--connections keep-alive connections over HTTPS spread over --threads wrk threads:

  downloads  kyrdecrypt-server   GET of one package file (--package-kib of random bytes)
  downloads  nginx               the same file from the same tree, served by nginx
  uploads    sqlite              PUT /telemetry/upload of a report shaped like the client's
  uploads    postgres            the same, stored in a PostgreSQL server of the run's own

It prints one table: requests per second, latency p50 and p99, errors (failed connections,
reads, writes, timeouts and answers other than 2xx/3xx) and, for uploads, the 200 answers
against the rows the store holds afterwards. Every upload sent is answered before wrk
stops (after the window a connection sends nothing more), so the two must be equal: the
run exits 1 when they are not. It is a benchmark, not a test, and only ever targets
loopback addresses; on a shared machine the figures are noisy.

The server takes uploads from one address at up to --reports-per-minute 1000000 (its
highest setting), far above what one machine sends; anything past it would show as errors.

Needs wrk (Debian: `apt-get install wrk`), nginx and PostgreSQL (scripts/install-deps.sh);
TLS material, nginx and PostgreSQL are set up as the end-to-end tests do
(tests/e2e/harness.py). Without --server it builds kyrdecrypt-server in the work folder.
"""

import argparse
import contextlib
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402  (shared TLS material, server runner, nginx and PostgreSQL)

PACKAGE = "package/download/64/kyrbench/1.0.0"
# How long wrk waits for the answers to what it sent within the window: under the server's
# keep-alive timeout (5 s), so no idle connection is closed on it and counted as an error.
GRACE_SECONDS = 3
REPORTS_PER_MINUTE = 1000000
# A report as the client builds it (names sorted, as nlohmann's dump writes them).
REPORT = json.dumps({
    "decryptor": {"custom": "eyAiZmlsZXMiIDogMywgInNraXBwZWQiIDogMCB9Cg==", "name": "kyrbench",
                  "runat": 1700000000123, "status": 1, "totaldecrypt": 3, "version": "1.0.0"},
    "geotag": "+0100", "id": "{2F1B8C9E-4A7D-4E21-9C3B-7D5E8F6A1B2C}-{1700000000456}",
    "kyrdecrypt": "1.0.0.100", "machineid": "{8D3E2A71-5B6C-4F09-A1D2-3C4B5A697887}",
}, separators=(",", ":"))

# wrk's Lua side. Each thread has a Lua state of its own: done() adds their counts up.
WRK_SCRIPT = r"""
local ffi = require("ffi")
ffi.cdef[[
typedef struct { long sec; long usec; } kyr_timeval;
int gettimeofday(kyr_timeval* tv, void* tz);
]]
local clock = ffi.new("kyr_timeval")
local function now()
  ffi.C.gettimeofday(clock, nil)
  return tonumber(clock.sec) + tonumber(clock.usec) / 1e6
end

local threads = {}
function setup(thread) table.insert(threads, thread) end

function init(args)
  deadline = now() + tonumber(args[1])
  ok = 0
end

-- Past the window a connection waits out the run instead of sending, so every request
-- sent is answered (and counted) before wrk stops.
function delay()
  if now() >= deadline then return 3600000 end
  return 0
end

function done(summary, latency, requests)
  local acknowledged = 0
  for _, thread in ipairs(threads) do acknowledged = acknowledged + (thread:get("ok") or 0) end
  local e = summary.errors
  io.write(string.format('RESULT {"requests": %d, "ok": %d, "p50_us": %.0f, "p99_us": %.0f, "errors": %d}\n',
                         summary.requests, acknowledged, latency:percentile(50), latency:percentile(99),
                         e.connect + e.read + e.write + e.timeout + e.status))
end
"""

# Added for uploads only: a response hook makes wrk hand every answer's body to Lua.
WRK_UPLOAD = r"""
wrk.method = "PUT"
wrk.headers["Content-Type"] = "application/json"
wrk.body = [==[{body}]==]

function response(status, headers, body)
  if status == 200 then ok = ok + 1 end
end
"""


def wrk(url, seconds, connections, threads, work, upload):
    """Runs wrk against `url` for the window; returns the figures done() printed."""
    script = os.path.join(work, "upload.lua" if upload else "download.lua")
    with open(script, "w", encoding="utf-8") as out:
        out.write(WRK_SCRIPT + (WRK_UPLOAD.replace("{body}", REPORT) if upload else ""))
    done = subprocess.run(["wrk", "-t", str(threads), "-c", str(connections), "-d", f"{seconds + GRACE_SECONDS}s",
                           "--timeout", f"{GRACE_SECONDS}s", "-s", script, url, "--", str(seconds)],
                          capture_output=True, text=True, timeout=seconds + GRACE_SECONDS + 60, check=True)
    result = next((line for line in done.stdout.splitlines() if line.startswith("RESULT ")), None)
    if result is None:
        raise SystemExit(f"wrk printed no result: {done.stdout} {done.stderr}")
    return json.loads(result[len("RESULT "):])


class Run:
    """The run's work folder, TLS material, published file and settings."""

    def __init__(self, arguments, work, server_binary):
        self.arguments, self.work, self.server_binary = arguments, work, server_binary
        tls = os.path.join(work, "tls")
        harness.make_tls_material(tls)
        self.ca, self.cert, self.key = (os.path.join(tls, name) for name in ("ca-cert.pem", "server-cert.pem",
                                                                             "server-key.pem"))
        self.tree = os.path.join(work, "tree")
        package = os.path.join(self.tree, PACKAGE)
        os.makedirs(os.path.dirname(package))
        with open(package, "wb") as out:
            out.write(os.urandom(arguments.package_kib * 1024))

    def measure(self, port, upload):
        path = "/telemetry/upload" if upload else "/" + PACKAGE
        return wrk(f"https://127.0.0.1:{port}{path}", self.arguments.seconds, self.arguments.connections,
                   self.arguments.threads, self.work, upload)

    @contextlib.contextmanager
    def server(self, *store):
        """A kyrdecrypt-server on a free port with the store options given; yields the port."""
        port = harness.free_port()
        server = harness.ServerProcess([self.server_binary, "--address", "127.0.0.1", "--port", str(port),
                                        "--cert", self.cert, "--key", self.key, "--repo", self.tree,
                                        "--reports-per-minute", str(REPORTS_PER_MINUTE), *store])
        try:
            server.wait_ready()
            yield port
        finally:
            server.stop()

    @contextlib.contextmanager
    def nginx(self, upstream):
        """nginx serving the same tree on a free port; yields the port."""
        port = harness.free_port()
        nginx = harness.NginxProcess(os.path.join(self.work, "nginx"), port=port, upstream=upstream, tree=self.tree,
                                     certificate=self.cert, key=self.key, ca=self.ca,
                                     worker_connections=2 * self.arguments.connections + 16)
        try:
            yield port
        finally:
            nginx.stop()


def measure_all(run):
    """[(target, figures, rows stored or None)] for every target."""
    database = os.path.join(run.work, "telemetry.db")
    with run.server("--db", database) as port:
        downloads = run.measure(port, False)
        with run.nginx(port) as nginx_port:
            nginx = run.measure(nginx_port, False)
        sqlite = run.measure(port, True)
    with sqlite3.connect(database) as connection:
        sqlite_rows = connection.execute("SELECT count(*) FROM reports").fetchone()[0]
    postgres = harness.PostgresProcess(os.path.join(run.work, "postgres"))
    try:
        with run.server("--telemetry-postgres", postgres.connection) as port:
            figures = run.measure(port, True)
        postgres_rows = int(postgres.query("SELECT count(*) FROM reports"))
    finally:
        postgres.stop()
    return [("downloads  kyrdecrypt-server", downloads, None), ("downloads  nginx", nginx, None),
            ("uploads    sqlite", sqlite, sqlite_rows), ("uploads    postgres", figures, postgres_rows)]


def report(results, seconds):
    """Prints the table; returns whether every upload answered 200 was stored, and only those."""
    print(f"\n{'target':30} {'req/s':>9} {'p50 ms':>8} {'p99 ms':>8} {'errors':>7}  uploads 200 / stored")
    equal = True
    for target, figures, rows in results:
        line = (f"{target:30} {figures['requests'] / seconds:9.0f} {figures['p50_us'] / 1000:8.2f} "
                f"{figures['p99_us'] / 1000:8.2f} {figures['errors']:7}")
        if rows is not None:
            same = figures["ok"] == rows
            equal = equal and same
            line += f"  {figures['ok']} / {rows}{'' if same else '  MISMATCH'}"
        print(line)
    return equal


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=20, help="measured window per target (default 20)")
    parser.add_argument("--connections", type=int, default=32, help="concurrent connections (default 32)")
    parser.add_argument("--threads", type=int, default=2, help="wrk threads (default 2)")
    parser.add_argument("--package-kib", type=int, default=256, help="size of the downloaded file (default 256)")
    parser.add_argument("--server", help="a built kyrdecrypt-server (default: build one in the work folder)")
    parser.add_argument("--work", help="work folder (default: a new temporary folder, removed afterwards)")
    arguments = parser.parse_args()
    if not shutil.which("wrk"):
        raise SystemExit("wrk is not installed (Debian: apt-get install wrk)")
    if arguments.connections < arguments.threads:
        raise SystemExit("--connections must be at least --threads")
    work = os.path.abspath(arguments.work) if arguments.work else tempfile.mkdtemp(prefix="kyr-load-")
    os.makedirs(work, exist_ok=True)
    if os.geteuid() == 0:
        os.chmod(work, 0o755)  # nginx's workers and PostgreSQL run as nobody and need to reach it
    try:
        server_binary = arguments.server
        if not server_binary:
            print(f"Building kyrdecrypt-server in {work} ...", flush=True)
            harness.build_publisher_targets(SOURCE, os.path.join(work, "build"), "kyrdecrypt-server")
            server_binary = os.path.join(work, "build", "kyrdecrypt-server")
        print(f"{arguments.seconds} s per target, {arguments.connections} connections, {arguments.threads} wrk "
              f"threads, {arguments.package_kib} KiB package, 127.0.0.1 over HTTPS", flush=True)
        equal = report(measure_all(Run(arguments, work, os.path.abspath(server_binary))), arguments.seconds)
    finally:
        if not arguments.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if equal else 1


if __name__ == "__main__":
    sys.exit(main())
