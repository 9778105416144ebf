"""End-to-end test of the causes: every failure says why on standard error and in the log,
while standard output keeps its exact texts. Each cause is produced for real."""

import contextlib
import os
import queue
import re
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_packages as packages  # noqa: E402

GET_FAILED = packages.BANNER + packages.GETTING + packages.DOWNLOAD_FAILED + packages.FAILED
NOT_INSTALLED = packages.BANNER + packages.RUNNING + packages.NOT_FOUND + packages.FAILED
REFUSED = packages.BANNER + packages.GETTING + packages.FILES_INVALID + packages.FAILED


class CausesTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        decryptor, library = os.environ.get("KYR_E2E_ECHO"), os.environ.get("KYR_E2E_ECHO_UTIL")
        if "wine" in self.config:
            # The Windows rows never run a decryptor: any file makes a package.
            decryptor = library = os.path.join(self.work, "stand-in.bin")
            with open(decryptor, "wb") as out:
                out.write(b"never run")
        elif not (decryptor and library):
            self.fail("KYR_E2E_ECHO and KYR_E2E_ECHO_UTIL must be set (run through ctest)")
        self.decryptor_binary = decryptor
        self.publish("library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: library})
        for version in ("1.0.0", "1.1.0"):
            self.publish("decryptor", "echo", version, *packages.echo_decryptor(decryptor))
        self.start_server()
        self.host = "localhost" if "wine" in self.config else "127.0.0.1"
        self.server_url = f"https://{self.host}:{self.port}"

    publish = packages.PackageCommandsTest.publish

    def log_path(self):
        return os.path.join(self.data_folder, "data", "kyrdecrypt.log")

    def log(self):
        with contextlib.suppress(FileNotFoundError), open(self.log_path(), encoding="utf-8") as log:
            return log.read()
        return ""

    def client(self, *arguments, prefix=()):
        """Runs the client (after `prefix`, a command that runs it as someone else); (stdout, stderr)."""
        command, env = harness.client_process(self.config, self.program_data, arguments)
        done = subprocess.run([*prefix, *command], env=env, capture_output=True,
                              timeout=harness.CLIENT_RUN_SECONDS + 30)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.decode("utf-8"), done.stderr.decode("utf-8")

    def data_path(self, *parts):
        path = os.path.join(self.data_folder, *parts)
        return harness.windows_path(path) if "wine" in self.config else path

    # ------------------------------------------------------------------ how each cause is made

    def alter_package_on_server(self):
        with open(self.package_path("decryptors", "echo", "1.1.0"), "r+b") as package:
            package.seek(100)
            byte = package.read(1)
            package.seek(100)
            package.write(bytes([byte[0] ^ 0x01]))

    def as_nobody(self):
        """The data folder made by root, the client run as nobody: it may read but not write there."""
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run the client as an unprivileged user")
        os.makedirs(os.path.join(self.data_folder, "data"), exist_ok=True)
        for folder in (self.work, self.program_data):
            os.chmod(folder, 0o755)
        return ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--")

    def write_protected(self):
        """The decryptor's folder made unwritable even for root (immutable)."""
        folder = os.path.join(self.data_folder, "decryptors", "echo")
        os.makedirs(folder, exist_ok=True)
        if subprocess.run(["chattr", "+i", folder], capture_output=True).returncode != 0:
            self.skipTest("the file system cannot make a folder immutable")
        self.addCleanup(subprocess.run, ["chattr", "-i", folder], capture_output=True)
        return ()

    def full_disk(self, size="1m"):
        """The data root on a small file system (1 MiB), and a decryptor of 2 MiB."""
        if os.geteuid() != 0 or not shutil.which("mount"):
            self.skipTest("needs root to mount a small file system")
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", self.program_data],
                          capture_output=True).returncode != 0:
            self.skipTest("cannot mount a file system here")
        self.addCleanup(subprocess.run, ["umount", self.program_data], capture_output=True)
        data = os.path.join(self.work, "data.bin")
        with open(data, "wb") as out:
            out.write(os.urandom(2 << 20))
        self.stop_server()
        self.publish("decryptor", "big", "1.0.0", {packages.DECRYPTOR_FILE: self.decryptor_binary, "data.bin": data},
                     *packages.echo_decryptor(self.decryptor_binary)[1:])
        self.start_server()
        return ()

    def stalled_server(self):
        """A listener on the server's port that takes connections and never answers; each
        connection taken is also put in the queue returned."""
        self.stop_server()
        listener = socket.create_server(("127.0.0.1", self.port))
        held = []
        accepted = queue.Queue()
        stop = threading.Event()

        def hold():
            listener.settimeout(0.5)
            while not stop.is_set():
                with contextlib.suppress(socket.timeout, OSError):
                    held.append(listener.accept()[0])
                    accepted.put(held[-1])

        thread = threading.Thread(target=hold, daemon=True)
        thread.start()

        def close():
            stop.set()
            thread.join(timeout=5)
            for connection in held + [listener]:
                connection.close()

        self.addCleanup(close)
        self.accepted = accepted
        return ()

    def no_server(self):
        self.stop_server()
        return ()

    # ------------------------------------------------------------------ the table

    def test_each_failure_says_why_on_standard_error_and_in_the_log(self):
        url = self.server_url + "/package/download/64/"
        windows = "wine" in self.config
        rows = [
            ("a good run", None, ("-get", "echo", "-ver", "1.0.0"),
             packages.BANNER + packages.GETTING + packages.SUCCEEDED, None),
            ("a version not on the server", None, ("-get", "echo", "-ver", "9.9.9"), GET_FAILED,
             f"the server answered 404 for {url}echo/9.9.9: no decryptor of that name or version"),
            ("a misspelt name", None, ("-get", "nosuch"), GET_FAILED,
             f"the server answered 404 for {url}nosuch: no decryptor of that name or version"),
            ("a name that could leave the data folder", None, ("-get", "../echo"),
             packages.BANNER + packages.GETTING + packages.OPERATION_ERROR + packages.FAILED,
             'the name "../echo" cannot be a folder name'),
            ("a version not installed", None, ("-run", "echo", "-ver", "2.0.0"), NOT_INSTALLED,
             "echo 2.0.0 is not installed here"),
            ("a package failing its signature", self.alter_package_on_server, ("-get", "echo", "-ver", "1.1.0"),
             REFUSED, "the package echo 1.1.0 failed its signature check: "
             + self.data_path("decryptors", "echo", "1.1.0", "echo.zip")),
            ("a data folder the user may not write", self.write_protected if windows else self.as_nobody,
             ("-get", "echo", "-ver", "1.1.0"), GET_FAILED,
             "cannot create " + self.data_path("decryptors", "echo", "1.1.0") + ": "
             + ("Access denied" if windows else "Permission denied")),
            ("a full disk", self.full_disk, ("-get", "big", "-ver", "1.0.0"), GET_FAILED,
             "no space left on the device for " + self.data_path("decryptors", "big", "1.0.0", "big.zip")),
            # A decryptor of its own: the folders of echo may be unwritable by now.
            ("a server that is down", self.no_server, ("-get", "other", "-ver", "1.0.0"), GET_FAILED,
             f"cannot connect to {self.host}:{self.port}: "
             + ("The attempt to connect to the server failed" if windows else "Connection refused")),
            ("a server that stalls", self.stalled_server, ("-get", "other", "-ver", "1.0.0"), GET_FAILED,
             f"the server {self.host}:{self.port} stopped answering (timed out) for {url}other/1.0.0"),
        ]
        if windows:  # what the Windows client is tested for under Wine
            rows = [row for row in rows if row[0] in ("a data folder the user may not write",
                                                      "a version not on the server", "a server that is down")]
        for name, prepare, arguments, stdout, cause in rows:
            with self.subTest(name):
                prefix = (prepare() if prepare else None) or ()
                before = self.log()
                out, err = self.client(*arguments, prefix=prefix)
                self.assertEqual(out, stdout)
                if cause is None:
                    self.assertEqual(err, "")
                    self.assertIn(" kyrdecrypt succeeded: " + stdout.splitlines()[-1] + "\n", self.log()[len(before):])
                    continue
                # Under Wine, Wine itself may have written to standard error before the client.
                self.assertEqual(err.splitlines()[-1:] if windows else err.splitlines(keepends=True),
                                 ["kyrdecrypt: " + cause] if windows else ["kyrdecrypt: " + cause + "\n"])
                if prefix:  # nobody may not write the log either, and the command is not failed by it
                    self.assertEqual(self.log(), before)
                    continue
                added = self.log()[len(before):]
                command = " ".join(arguments)
                self.assertRegex(added, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z kyrdecrypt command: "
                                 + re.escape(command) + "\n")
                self.assertIn(" kyrdecrypt cause: " + cause + "\n", added)
                self.assertTrue(added.endswith(" kyrdecrypt failed: " + stdout.splitlines()[-2] + "\n"), added)

    # ------------------------------------------------------------------ nothing left behind

    def linux_only(self):
        # Under Wine the same cleanup is checked by the unit tests of the temporary files.
        if "wine" in self.config:
            self.skipTest("kills and mounts are tested with the Linux client")

    def test_a_killed_download_is_removed_by_the_next_run_but_a_running_one_is_not(self):
        self.linux_only()
        self.stalled_server()
        folder = os.path.join(self.data_folder, "decryptors", "echo", "1.1.0")

        def temporaries():
            with contextlib.suppress(FileNotFoundError):
                return {name for name in os.listdir(folder) if re.fullmatch(r"echo\.zip\.tmp-[0-9a-f]{24}", name)}
            return set()

        def stalled_get():
            """A -get waiting on the stalled server, and the temporary download it made before it connected."""
            before = temporaries()
            command, env = harness.client_process(self.config, self.program_data, ("-get", "echo", "-ver", "1.1.0"))
            process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(harness.stop_process, process)
            self.accepted.get(timeout=harness.SERVER_START_SECONDS)
            [made] = temporaries() - before
            return process, made

        killed, left = stalled_get()
        killed.kill()
        killed.wait()
        _, held = stalled_get()
        # Both old enough to count as abandoned: only the lock of the running writer keeps its file.
        aged = time.time() - 2 * 60 * 60
        for name in (left, held):
            os.utime(os.path.join(folder, name), (aged, aged))
        _, later = stalled_get()
        self.assertEqual(temporaries(), {held, later})

    def test_a_full_disk_keeps_what_is_installed_and_the_get_succeeds_once_space_is_freed(self):
        self.linux_only()
        self.full_disk("16m")
        got = packages.BANNER + packages.GETTING + packages.SUCCEEDED
        self.assertEqual(self.client("-get", "echo", "-ver", "1.0.0"), (got, ""))
        filler = os.path.join(self.program_data, "filler")
        with contextlib.suppress(OSError), open(filler, "wb", buffering=0) as out:
            while out.write(bytes(64 << 10)):
                pass
        self.assertEqual(self.client("-get", "big", "-ver", "1.0.0"), (GET_FAILED, "kyrdecrypt: no space left on the device for "
                                                                     + self.data_path("decryptors", "big", "1.0.0", "big.zip") + "\n"))
        self.assertFalse(os.path.exists(self.data_path("decryptors", "big")))
        about = packages.BANNER + packages.RUNNING + packages.HELP_LINE + packages.SUCCEEDED
        self.assertEqual(self.client("-about", "echo", "-ver", "1.0.0"), (about, ""))
        out, err = self.client("-run", "echo", "-ver", "1.0.0", "-args", "x")
        self.assertIn("echo: arg[2]=x\n", out)
        self.assertTrue(out.endswith(packages.SUCCEEDED), out)
        os.remove(filler)
        self.assertEqual(self.client("-get", "big", "-ver", "1.0.0"), (got, ""))


if __name__ == "__main__":
    unittest.main()
