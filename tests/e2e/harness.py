"""Shared end-to-end harness: the real kyrdecrypt client against the real kyrdecrypt-server.

Two halves:

* ``python3 harness.py setup --source DIR --work DIR [--cmake-arg ARG]...`` is the CTest
  fixture. Once per ctest run it makes a test CA with a server certificate for
  127.0.0.1 and a package-signing key pair (openssl CLI), picks a free port, builds
  a client configured for exactly that (its own CMake build tree, tests and
  publisher tools off) and writes ``harness.json`` into the work folder.

  With ``--windows ADD_ROOT_CERT_EXE`` the client is KyrDecrypt.exe, cross-built for
  ``localhost`` (WinINet under Wine matches the certificate's DNS name, not its IP
  address) and run under Wine in a prefix of the work folder whose ROOT store holds
  the test CA (added by that helper program).

* ``E2ETestCase`` is the base class of the tests. Each test gets a fresh
  repository folder, telemetry database and PROGRAMDATA; ``start_server`` runs
  kyrdecrypt-server on the client's port and waits (bounded) for its ready line;
  ``run_client`` runs the client and returns its exact stdout.

Tests find the work folder through KYR_E2E_WORK and the server through
KYRDECRYPT_SERVER_BIN, and kyrpack through KYRPACK (all set by CTest).
"""

import argparse
import glob
import http.client
import json
import os
import queue
import shutil
import socket
import sqlite3
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BANNER = "\nKyrDecrypt - get, verify and run ransomware decryption tools\n"
LIST_HEADER = "Version marked with (**) are already present on this machine\n\n"
LIST_FAILED = ("Failed to get latest package list from server. "
               "Please check your network connection and try again.\n\n")
OPERATION_FAILED = "Requested operation failed.\n"

SERVER_START_SECONDS = 30
CLIENT_RUN_SECONDS = 300
SERVER_STOP_SECONDS = 15


# --------------------------------------------------------------------------- setup

def _openssl(folder, *arguments):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_tls_material(folder):
    """A test CA, a server certificate it signed for 127.0.0.1, and an unrelated self-signed one."""
    os.makedirs(folder, exist_ok=True)
    if os.path.exists(os.path.join(folder, "other-cert.pem")):
        return
    new = ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30"]
    local = ["-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"]
    _openssl(folder, *new, "-subj", "/CN=KyrDecrypt E2E CA", "-keyout", "ca-key.pem", "-out", "ca-cert.pem")
    _openssl(folder, *new, *local, "-CA", "ca-cert.pem", "-CAkey", "ca-key.pem",
             "-keyout", "server-key.pem", "-out", "server-cert.pem")
    _openssl(folder, *new, *local, "-keyout", "other-key.pem", "-out", "other-cert.pem")


def make_signing_keys(folder):
    """An RSA-4096 package-signing key pair; the public half as PEM "RSA PUBLIC KEY"."""
    os.makedirs(folder, exist_ok=True)
    private, public = (os.path.join(folder, name) for name in ("signing-private.pem", "signing-public.pem"))
    if not os.path.exists(public):
        _openssl(folder, "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:4096", "-out", private)
        _openssl(folder, "rsa", "-in", private, "-RSAPublicKey_out", "-out", public)
    return private, public


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def build_publisher_targets(source, build, *targets):
    """Builds targets of the publisher side (tests off) in `build`; the benchmarks use it."""
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DKYRDECRYPT_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", *targets], check=True, stdout=subprocess.DEVNULL)


def build_client(source, build, config, *cmake_args, targets=("kyrdecrypt",)):
    """The harness's Linux client built once more in `build` with further settings (a first root, say)."""
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DKYRDECRYPT_BUILD_TESTS=OFF",
                    "-DKYRDECRYPT_BUILD_PUBLISHER=OFF", "-DKYRDECRYPT_SERVER_HOST=127.0.0.1",
                    f"-DKYRDECRYPT_SERVER_PORT={config['port']}",
                    f"-DKYRDECRYPT_SIGNING_KEY={config['signing_public_key']}",
                    f"-DKYRDECRYPT_CA_BUNDLE={config['ca_cert']}", *cmake_args], check=True, capture_output=True)
    subprocess.run(["cmake", "--build", build, "--target", *targets], check=True, capture_output=True)


def setup(source, work, cmake_args, add_root_cert=None):
    """Writes harness.json; with add_root_cert (the Windows helper program), for KyrDecrypt.exe under Wine."""
    os.makedirs(work, exist_ok=True)
    tls = os.path.join(work, "tls")
    make_tls_material(tls)
    private, public = make_signing_keys(os.path.join(work, "keys"))
    port = free_port()
    build = os.path.join(work, "client-build")
    if add_root_cert:
        target = ["--toolchain", os.path.join(source, "cmake", "mingw-w64-x86_64.cmake"),
                  "-DKYRDECRYPT_SERVER_HOST=localhost"]
        client, identify = os.path.join(build, "KyrDecrypt.exe"), os.path.join(build, "KyrIdentify.exe")
        bundle = os.path.join(build, "KyrBundle.exe")
    else:
        target = ["-DKYRDECRYPT_SERVER_HOST=127.0.0.1", f"-DKYRDECRYPT_CA_BUNDLE={os.path.join(tls, 'ca-cert.pem')}"]
        client, identify = os.path.join(build, "kyrdecrypt"), os.path.join(build, "kyridentify")
        bundle = os.path.join(build, "kyrbundle")
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", *target,
                    "-DKYRDECRYPT_BUILD_TESTS=OFF", "-DKYRDECRYPT_BUILD_PUBLISHER=OFF",
                    f"-DKYRDECRYPT_SERVER_PORT={port}", f"-DKYRDECRYPT_SIGNING_KEY={public}", *cmake_args],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "kyrdecrypt", "kyridentify", "kyrbundle"], check=True,
                   stdout=subprocess.DEVNULL)
    config = {
        "port": port,
        "client": client,
        "identify": identify,
        "bundle": bundle,
        "ca_cert": os.path.join(tls, "ca-cert.pem"),
        "server_cert": os.path.join(tls, "server-cert.pem"),
        "server_key": os.path.join(tls, "server-key.pem"),
        "other_cert": os.path.join(tls, "other-cert.pem"),
        "other_key": os.path.join(tls, "other-key.pem"),
        "signing_private_key": private,
        "signing_public_key": public,
    }
    if add_root_cert:
        config["wine"] = {"run": os.path.join(source, "scripts", "wine-run.sh"),
                          "prefix": os.path.join(work, "wineprefix")}
        subprocess.run(wine_command(config, add_root_cert, windows_path(config["ca_cert"])),
                       env=wine_environment(config), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with open(os.path.join(work, "harness.json"), "w", encoding="utf-8") as out:
        json.dump(config, out, indent=2)


# --------------------------------------------------------------------------- Wine

def windows_path(path):
    """The name a Windows program under Wine knows a local path by (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_command(config, program, *arguments):
    """The command line that runs a Windows program in the configuration's Wine prefix, bounded."""
    return ["bash", config["wine"]["run"], program, *arguments]


# A user's choice not to send run reports must not leak into the tests that check them.
OPT_OUT_VARIABLES = ("KYRDECRYPT_NO_TELEMETRY", "DO_NOT_TRACK")


def child_environment(**extra):
    """This process's environment without the opt-out variables, plus `extra`."""
    env = {name: value for name, value in os.environ.items() if name not in OPT_OUT_VARIABLES}
    return dict(env, **extra)


def wine_environment(config, **extra):
    """The environment for wine_command: the prefix, and a bound a little under the callers' own."""
    return child_environment(KYRDECRYPT_WINEPREFIX=config["wine"]["prefix"],
                             KYRDECRYPT_WINE_TIMEOUT=str(CLIENT_RUN_SECONDS), **extra)


def client_process(config, program_data, arguments, program="client", **env):
    """Command line and environment that run the configured client (or, with program="identify"
    or "bundle", kyridentify or kyrbundle) with the given data folder root."""
    if "wine" not in config:
        return [config[program], *arguments], child_environment(PROGRAMDATA=program_data, **env)
    # Windows takes the common application-data folder from the registry: point it at this one.
    # No test runs beside another in the same prefix (they share the server's port).
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
    subprocess.run(wine_command(config, "reg", "add", key, "/v", "Common AppData", "/t", "REG_SZ",
                                "/d", windows_path(program_data), "/f"),
                   env=wine_environment(config), check=True, capture_output=True, timeout=CLIENT_RUN_SECONDS)
    return wine_command(config, config[program], *arguments), wine_environment(config, **env)


# --------------------------------------------------------------------------- tests

def load_config():
    work = os.environ.get("KYR_E2E_WORK")
    if not work:
        raise unittest.SkipTest("KYR_E2E_WORK is not set: run the end-to-end tests through ctest")
    with open(os.path.join(work, "harness.json"), encoding="utf-8") as config:
        return json.load(config)


def stop_process(process):
    """Asks a server process to stop; kills it if it has not within the bounded wait."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=SERVER_STOP_SECONDS)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class ServerProcess:
    """A running kyrdecrypt-server whose stdout lines are collected as they come."""

    def __init__(self, arguments):
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.log = []
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def wait_ready(self):
        try:
            line = self.lines.get(timeout=SERVER_START_SECONDS)
        except queue.Empty:
            line = None
        if line is None or " ready on " not in line:
            self.stop()
            raise AssertionError(f"kyrdecrypt-server did not start: {line!r} {self.process.stderr.read()!r}")

    def requests(self, count=None, with_client=False):
        """The request lines logged so far, as "METHOD path status bytes" ("CLIENT METHOD ..."
        `with_client`). With a count, waits (bounded) until at least that many have been
        logged: the server logs after answering."""
        while True:
            wait = count is not None and len(self.log) < count
            try:
                line = self.lines.get(timeout=SERVER_START_SECONDS) if wait else self.lines.get_nowait()
            except queue.Empty:
                break
            if line is None:
                break
            self.log.append(line)
        return [line if with_client else line.split(" ", 1)[1] for line in self.log]

    def stop(self):
        stop_process(self.process)
        self.process.stdout.close()
        self.process.stderr.close()


NGINX_CONFIG = """\
daemon off;
worker_processes 1;
{user}
pid {folder}/nginx.pid;
error_log {folder}/error.log;
events {{ worker_connections {worker_connections}; }}
http {{
    default_type application/octet-stream;
    client_body_temp_path {folder}/client_body;
    proxy_temp_path {folder}/proxy;
    fastcgi_temp_path {folder}/fastcgi;
    uwsgi_temp_path {folder}/uwsgi;
    scgi_temp_path {folder}/scgi;
    log_format requests '$request_method $request_uri $status $body_bytes_sent';
    access_log {folder}/access.log requests;
    server {{
        listen 127.0.0.1:{port} ssl;
        ssl_certificate {certificate};
        ssl_certificate_key {key};
        root {tree};
        location / {{ try_files $uri =404; }}
        location ~ ^/package/download/64/([^/]+)$ {{ try_files /package/download/64/$1/0.0.0 =404; }}
        location = /telemetry/upload {{
            limit_except PUT {{ deny all; }}
            proxy_pass https://127.0.0.1:{upstream};
            proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;
            proxy_ssl_trusted_certificate {ca};
            proxy_ssl_verify on;
            proxy_ssl_name localhost;
        }}
    }}
}}
"""


class NginxProcess:
    """nginx serving a published tree from a folder of its own, in the foreground, unprivileged:
    its prefix, pid, logs and temporary files all stay in that folder."""

    def __init__(self, folder, worker_connections=64, **settings):
        self.folder = folder
        os.makedirs(folder)
        # As root the master keeps root to read the key; its workers run as nobody, which
        # must be able to read the tree.
        user = "user nobody nogroup;" if os.geteuid() == 0 else ""
        config = os.path.join(folder, "nginx.conf")
        with open(config, "w", encoding="utf-8") as out:
            out.write(NGINX_CONFIG.format(folder=folder, user=user, worker_connections=worker_connections, **settings))
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        # -e: the log for errors before the configuration is read, which would go to /var/log.
        self.process = subprocess.Popen([nginx, "-p", folder, "-c", config, "-e", os.path.join(folder, "error.log")],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_listening(settings["port"])

    def wait_listening(self, port):
        deadline = time.monotonic() + SERVER_START_SECONDS
        while time.monotonic() < deadline and self.process.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)  # polling a port that is not open yet; bounded by the deadline
        self.stop()
        raise AssertionError("nginx did not start: " + self.error_log())

    def error_log(self):
        try:
            with open(os.path.join(self.folder, "error.log"), encoding="utf-8") as log:
                return log.read()
        except OSError:
            return ""

    def requests(self, count):
        """The requests answered, as "METHOD path status bytes", once at least `count` are logged
        (bounded wait: nginx logs a request just after answering it)."""
        deadline = time.monotonic() + SERVER_START_SECONDS
        while True:
            with open(os.path.join(self.folder, "access.log"), encoding="utf-8") as log:
                lines = log.read().splitlines()
            if len(lines) >= count or time.monotonic() > deadline:
                return lines
            time.sleep(0.05)

    def stop(self):
        stop_process(self.process)


class PostgresProcess:
    """A PostgreSQL server of its own in `folder`: cluster, log and unix socket there, TCP on
    a free local port. initdb and pg_ctl refuse to run as root, so as root they run as
    nobody in a folder nobody owns."""

    USER = "kyr"

    def __init__(self, folder):
        binaries = sorted(glob.glob("/usr/lib/postgresql/*/bin/pg_ctl"))
        if not binaries:
            raise AssertionError("PostgreSQL is not installed (scripts/install-deps.sh installs it)")
        self.bin = os.path.dirname(binaries[-1])
        self.folder, self.data, self.port = folder, os.path.join(folder, "data"), free_port()
        os.makedirs(folder)
        self.as_user = []
        if os.geteuid() == 0:
            shutil.chown(folder, "nobody")
            self.as_user = ["runuser", "-u", "nobody", "--"]
        self._run("initdb", "--no-sync", "-A", "trust", "-U", self.USER, "-D", self.data)
        self.start()

    @property
    def connection(self):
        return f"host=127.0.0.1 port={self.port} user={self.USER} dbname=postgres"

    def _run(self, program, *arguments):
        done = subprocess.run([*self.as_user, os.path.join(self.bin, program), *arguments],
                              capture_output=True, text=True, timeout=SERVER_START_SECONDS * 3)
        if done.returncode != 0:
            raise AssertionError(f"{program} failed: {done.stdout} {done.stderr}")
        return done.stdout

    def start(self):
        """Starts the server; pg_ctl -w returns once it takes connections."""
        options = f"-k {self.folder} -p {self.port} -c listen_addresses=127.0.0.1"
        self._run("pg_ctl", "start", "-w", "-D", self.data, "-l", os.path.join(self.folder, "log"), "-o", options)

    def stop(self):
        if os.path.exists(os.path.join(self.data, "postmaster.pid")):
            self._run("pg_ctl", "stop", "-w", "-m", "fast", "-D", self.data)

    def query(self, sql):
        """The rows of one query through psql over the unix socket: one line each, columns split by "|"."""
        return self._run("psql", "-X", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", self.folder,
                         "-p", str(self.port), "-U", self.USER, "-d", "postgres", "-c", sql)


class E2ETestCase(unittest.TestCase):
    """Base class: a fresh repository, database and PROGRAMDATA for every test."""

    def setUp(self):
        self.config = load_config()
        self.server_binary = os.environ.get("KYRDECRYPT_SERVER_BIN")
        if not self.server_binary:
            self.fail("KYRDECRYPT_SERVER_BIN must name the kyrdecrypt-server binary")
        folder = tempfile.TemporaryDirectory(prefix="kyr-e2e-")
        self.addCleanup(folder.cleanup)
        self.work = folder.name
        self.repository = os.path.join(self.work, "repository")
        self.database = os.path.join(self.work, "telemetry.db")
        self.program_data = os.path.join(self.work, "programdata")
        os.makedirs(self.repository)
        os.makedirs(self.program_data)
        self.server = None
        self.telemetry_options = ["--db", self.database]  # where start_server stores reports

    # Paths the tests and the helpers of other test files use.
    @property
    def port(self):
        return self.config["port"]

    @property
    def data_folder(self):
        return os.path.join(self.program_data, "Kyrowan", "KyrDecrypt")

    @property
    def catalogue_file(self):
        return os.path.join(self.data_folder, "data", "decryptors.json")

    def server_arguments(self, certificate=None, key=None, port=None):
        return [self.server_binary, "--address", "127.0.0.1", "--port", str(port or self.port),
                "--cert", certificate or self.config["server_cert"], "--key", key or self.config["server_key"],
                "--repo", self.repository, *self.telemetry_options]

    def start_server(self, certificate=None, key=None, options=(), port=None):
        """Starts kyrdecrypt-server on the client's port (or `port`) with any further options;
        waits for its ready line."""
        self.assertIsNone(self.server, "server already running")
        self.server = ServerProcess(self.server_arguments(certificate, key, port) + list(options))
        self.addCleanup(self.stop_server)
        self.server.wait_ready()
        return self.server

    def stop_server(self):
        if self.server is not None:
            self.server.stop()
            self.server = None

    def request(self, method, path, body=None, headers=None, port=None, source=None):
        """Sends one HTTPS request to the client's port (or `port`), from the loopback address `source`
        when given; returns (status, headers, body). The path is sent as given."""
        context = ssl.create_default_context(cafile=self.config["ca_cert"])
        connection = http.client.HTTPSConnection("127.0.0.1", port or self.port, context=context, timeout=30,
                                                 source_address=(source, 0) if source else None)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def package_path(self, kind, name, version):
        """Where the published tree keeps a package file: kind is decryptors, libraries or runtimes."""
        prefix = {"decryptors": "package", "libraries": "library", "runtimes": "runtime"}[kind]
        return os.path.join(self.repository, prefix, "download", "64", name, version)

    @staticmethod
    def framed(payload):
        """Bytes framed as a package file around `payload`, with a one-byte signature that checks nothing."""
        return struct.pack("<BQI", 1, len(payload), 1) + payload + b"\0"

    def add_package_file(self, kind, name, version, content):
        """Places a package file in the published tree, signed or not, and rebuilds the tree's list
        and latest files (kyrpack publish --rebuild). Bytes are placed framed (see framed)."""
        path = self.package_path(kind, name, version)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(content, str) and os.path.isfile(content):
            shutil.copyfile(content, path)
        else:
            with open(path, "wb") as out:
                out.write(self.framed(content))
        self.rebuild_tree()
        return path

    def kyrpack(self, *arguments):
        """Runs kyrpack (KYRPACK) with the arguments; fails the test when it fails. Returns its stdout."""
        kyrpack = os.environ.get("KYRPACK")
        if not kyrpack:
            self.fail("KYRPACK must name the kyrpack binary")
        done = subprocess.run([kyrpack, *arguments], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def rebuild_tree(self):
        self.kyrpack("publish", "--rebuild", self.repository)

    def pack(self, kind, name, version, files, *options):
        """Packs `files` (name in package -> source file) with the test key; returns the package file."""
        staging = tempfile.mkdtemp(prefix=f"{name}-{version}-", dir=self.work)
        for target, source in files.items():
            shutil.copyfile(source, os.path.join(staging, target))
        out = staging + ".kpkg"
        self.kyrpack("pack", "--key", self.config["signing_private_key"], "--folder", staging, "--kind", kind,
                     "--name", name, "--version", version, "--runtime-type", "native", *options, "--out", out)
        return out

    def start_nginx(self, upstream_port):
        """Starts nginx on the client's port serving the published tree, with telemetry uploads
        proxied to a kyrdecrypt-server on `upstream_port`."""
        if os.geteuid() == 0:
            os.chmod(self.work, 0o755)
        nginx = NginxProcess(os.path.join(self.work, "nginx"), port=self.port, upstream=upstream_port,
                             tree=self.repository, certificate=self.config["server_cert"],
                             key=self.config["server_key"], ca=self.config["ca_cert"])
        self.addCleanup(nginx.stop)
        return nginx

    def start_postgres(self):
        """Starts a PostgreSQL server of this test's own; stopped when the test ends."""
        if os.geteuid() == 0:
            os.chmod(self.work, 0o755)
        postgres = PostgresProcess(os.path.join(self.work, "postgres"))
        self.addCleanup(postgres.stop)
        return postgres

    def write_catalogue(self, text):
        os.makedirs(os.path.dirname(self.catalogue_file), exist_ok=True)
        with open(self.catalogue_file, "w", encoding="utf-8") as out:
            out.write(text)

    def read_catalogue(self):
        with open(self.catalogue_file, encoding="utf-8") as catalogue:
            return catalogue.read()

    def reports(self):
        """The telemetry reports the server stored, oldest first, as parsed JSON."""
        if not os.path.exists(self.database):
            return []
        with sqlite3.connect(self.database) as database:
            return [json.loads(body) for (body,) in database.execute("SELECT body FROM reports ORDER BY id")]

    def run_client(self, *arguments, **env):
        """Runs the client with this test's data folder root (and any further environment variables);
        asserts exit code 0 and returns its exact stdout."""
        command, env = client_process(self.config, self.program_data, arguments, **env)
        done = subprocess.run(command, env=env, capture_output=True, timeout=CLIENT_RUN_SECONDS + 30)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.decode("utf-8")


    def run_bundle(self, *arguments, program_data=None, **env):
        """Runs kyrbundle with this test's (or the given) data folder root; returns (exit status, exact
        stdout, stderr)."""
        command, env = client_process(self.config, program_data or self.program_data, arguments, program="bundle",
                                      **env)
        done = subprocess.run(command, env=env, capture_output=True, timeout=CLIENT_RUN_SECONDS * 2)
        return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")

    def run_identify(self, *arguments, **env):
        """Runs kyridentify with this test's data folder root; returns (exit status, exact stdout)."""
        command, env = client_process(self.config, self.program_data, arguments, program="identify", **env)
        done = subprocess.run(command, env=env, capture_output=True, timeout=CLIENT_RUN_SECONDS + 30)
        return done.returncode, done.stdout.decode("utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    build = commands.add_parser("setup", help="make the TLS material and keys and build the test client")
    build.add_argument("--source", required=True)
    build.add_argument("--work", required=True)
    build.add_argument("--cmake-arg", action="append", default=[])
    build.add_argument("--windows", metavar="ADD_ROOT_CERT_EXE",
                       help="build KyrDecrypt.exe for Wine; the program that adds the test CA to its ROOT store")
    arguments = parser.parse_args()
    try:
        setup(os.path.abspath(arguments.source), os.path.abspath(arguments.work), arguments.cmake_arg,
              arguments.windows)
    except subprocess.CalledProcessError as failure:
        print(f"setup failed: {failure} {failure.stderr or ''}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
