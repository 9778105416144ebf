"""End-to-end tests of -get, -run and -about: the real client against the real server.

The decryptor and the library it needs are the small native fixtures in
tests/e2e/fixtures, built by CMake and packed here with kyrpack and the
harness's signing key. The decryptor prints the arguments it was given, can
write its custom telemetry file, and returns 40 (from its library) plus the
number of arguments after -args.
"""

import base64
import json
import os
import pty
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

BANNER = harness.BANNER
GETTING = "\nDownloading decryptor and its depedencies. Please wait ...\n"
RUNNING = "\nValidating and running decryptor. Please wait ...\n"
SUCCEEDED = "Selected operation completed successfully\n"
FAILED = harness.OPERATION_FAILED
NOT_FOUND = "Package not found on this system\n"
DOWNLOAD_FAILED = ("Failed to download package. Please check decryptor name/version or your network "
                   "connection and try again.\n")
FILES_INVALID = "Not a valid package. File(s) invalid\n"
REQUIRED_INVALID = "Not a valid package. A required file is not valid\n"
OPERATION_ERROR = "An error occured in selected operation\n"
HELP_LINE = "echo: help of the end-to-end decryptor\n"

DECRYPTOR_FILE = os.path.basename(os.environ.get("KYR_E2E_ECHO", "libkyr_e2e_echo.so"))
LIBRARY_FILE = os.path.basename(os.environ.get("KYR_E2E_ECHO_UTIL", "libkyr_e2e_echo_util.so"))


def echo_decryptor(binary, library="echoutil:1.0.0"):
    """The files and pack options of the echo decryptor needing that library."""
    return ({DECRYPTOR_FILE: binary}, "--runtime-version", "1.0", "--module", DECRYPTOR_FILE, "--run", "run",
            "--help", "help", "--dependency", "lib:" + library)


class PackageCommandsTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.decryptor_binary = os.environ.get("KYR_E2E_ECHO")
        self.library_binary = os.environ.get("KYR_E2E_ECHO_UTIL")
        if not (os.environ.get("KYRPACK") and self.decryptor_binary and self.library_binary):
            self.fail("KYRPACK, KYR_E2E_ECHO and KYR_E2E_ECHO_UTIL must be set (run through ctest)")
        self.publish("library", "echoutil", "1.0.0", {LIBRARY_FILE: self.library_binary})
        for version in ("1.0.0", "1.1.0"):
            self.publish_decryptor("echo", version)
        self.start_server()

    # ------------------------------------------------------------------ helpers

    def publish(self, kind, name, version, files, *options):
        """Packs `files` (name in package -> source file) and places the package in the repository."""
        kind_folder = {"decryptor": "decryptors", "library": "libraries", "runtime": "runtimes"}[kind]
        return self.add_package_file(kind_folder, name, version, self.pack(kind, name, version, files, *options))

    def publish_decryptor(self, name, version, library="echoutil:1.0.0"):
        return self.publish("decryptor", name, version, *echo_decryptor(self.decryptor_binary, library))

    def files_folder(self, name, version):
        return os.path.join(self.data_folder, "decryptors", name, version, name) + os.sep

    def telemetry_file(self, name, version):
        return os.path.join(self.data_folder, "data", f"decr_{name}_{version}.json")

    def recorded(self):
        """The local catalogue as {lowered name: versions}."""
        catalogue = json.loads(self.read_catalogue())
        return {entry["name"].lower(): entry["versions"] for entry in catalogue["packages"]}

    def get(self, *arguments):
        self.assertEqual(self.run_client("-get", *arguments), BANNER + GETTING + SUCCEEDED)

    # ------------------------------------------------------------------ -get

    def test_get_named_version_installs_decryptor_and_library_and_records_it(self):
        self.get("echo", "-ver", "1.0.0")
        self.assertTrue(os.path.isfile(os.path.join(self.files_folder("echo", "1.0.0"), DECRYPTOR_FILE)))
        self.assertTrue(os.path.isfile(os.path.join(
            self.data_folder, "libraries", "echoutil", "1.0.0", "echoutil", LIBRARY_FILE)))
        self.assertEqual(self.recorded(), {"echo": ["1.0.0"]})
        paths = [line.split(" ")[1] for line in self.server.requests(2)]
        self.assertEqual(paths, ["/package/download/64/echo/1.0.0", "/library/download/64/echoutil/1.0.0"])

    def test_get_latest_asks_the_server_and_installs_that_version_once(self):
        self.get("Echo")
        self.assertTrue(os.path.isdir(self.files_folder("echo", "1.1.0")))
        self.assertFalse(os.path.exists(os.path.join(self.data_folder, "decryptors", "echo", "0.0.0")))
        self.assertEqual(self.recorded(), {"echo": ["1.1.0"]})
        first = len(self.server.requests(3))
        # Present and valid: the second -get downloads nothing and records no second copy.
        self.get("echo", "1.0.0")
        self.assertEqual([line.split(" ")[1] for line in self.server.requests(first + 1)[first:]],
                         ["/package/query/latestver/64/echo"])
        self.assertEqual(self.recorded(), {"echo": ["1.1.0"]})

    def test_package_altered_on_the_server_is_refused_and_nothing_is_recorded(self):
        path = self.package_path("decryptors", "echo", "1.1.0")
        with open(path, "r+b") as package:
            package.seek(100)
            byte = package.read(1)
            package.seek(100)
            package.write(bytes([byte[0] ^ 0x01]))
        self.assertEqual(self.run_client("-get", "echo", "-ver", "1.1.0"), BANNER + GETTING + FILES_INVALID + FAILED)
        self.assertEqual(self.recorded(), {})
        self.assertEqual(self.files_left("decryptors", "echo"), [])  # the refused package file is not kept

    def files_left(self, *folder):
        """Every file under a folder of the data root."""
        top = os.path.join(self.data_folder, *folder)
        return [os.path.relpath(os.path.join(root, name), top) for root, _, names in os.walk(top) for name in names]

    def test_get_failures(self):
        self.assertEqual(self.run_client("-get", "nosuch"), BANNER + GETTING + DOWNLOAD_FAILED + FAILED)
        self.assertEqual(self.run_client("-get", "echo", "-ver", "9.9.9"), BANNER + GETTING + DOWNLOAD_FAILED + FAILED)
        self.assertEqual(self.files_left("decryptors"), [])  # a failed download leaves no file
        # A name or version that would lead outside the data folder makes no element.
        self.assertEqual(self.run_client("-get", "../echo"), BANNER + GETTING + OPERATION_ERROR + FAILED)
        self.assertEqual(self.run_client("-get", "echo", "-ver", "../../1.0.0"),
                         BANNER + GETTING + OPERATION_ERROR + FAILED)
        # A mirror answering with another signed version than asked for installs nothing.
        self.add_package_file("decryptors", "echo", "2.0.0", 
            self.package_path("decryptors", "echo", "1.1.0"))
        self.assertEqual(self.run_client("-get", "echo", "-ver", "2.0.0"),
                         BANNER + GETTING + REQUIRED_INVALID + FAILED)
        self.assertFalse(os.path.exists(self.files_folder("echo", "2.0.0")))
        self.assertFalse(os.path.exists(self.files_folder("echo", "1.1.0")))
        # A decryptor whose library is not on the server is not recorded.
        self.publish_decryptor("orphan", "1.0.0", library="nolib:1.0.0")
        self.assertEqual(self.run_client("-get", "orphan"), BANNER + GETTING + DOWNLOAD_FAILED + FAILED)
        self.assertEqual(self.recorded(), {})
        self.stop_server()
        self.assertEqual(self.run_client("-get", "echo"), BANNER + GETTING + DOWNLOAD_FAILED + FAILED)

    def test_library_asked_for_as_latest_is_used_where_installed_and_repaired(self):
        library = os.path.join(self.data_folder, "libraries", "echoutil")
        self.add_package_file("libraries", "echoutil", "0.0.0",
                              self.package_path("libraries", "echoutil", "1.0.0"))
        self.publish_decryptor("echo", "1.2.0", library="echoutil:0.0.0")
        self.get("echo")
        self.assertEqual(os.listdir(library), ["1.0.0"])
        self.assertEqual(self.run_client("-about", "echo"), BANNER + RUNNING + HELP_LINE + SUCCEEDED)
        # Installed: the next -get downloads nothing.
        self.get("echo")
        self.assertEqual([line.split(" ")[1] for line in self.server.requests(4)[3:]],
                         ["/package/query/latestver/64/echo"])
        # A kill between unpacking and the move leaves it in "0.0.0": the next -get moves it into place
        # (the decryptor is downloaded again too: without its library it is not present).
        os.rename(os.path.join(library, "1.0.0"), os.path.join(library, "0.0.0"))
        self.get("echo")
        self.assertEqual([line.split(" ")[1] for line in self.server.requests(7)[4:]],
                         ["/package/query/latestver/64/echo", "/package/download/64/echo/1.2.0",
                          "/library/download/64/echoutil/0.0.0"])
        self.assertEqual(os.listdir(library), ["1.0.0"])

    # ------------------------------------------------------------------ -about

    def test_about_calls_the_help_entry_and_sends_no_report(self):
        self.get("echo", "-ver", "1.0.0")
        self.assertEqual(self.run_client("-about", "echo"), BANNER + RUNNING + HELP_LINE + SUCCEEDED)
        self.assertEqual(self.run_client("-about", "echo", "-ver", "1.0.0"), BANNER + RUNNING + HELP_LINE + SUCCEEDED)
        self.assertEqual(self.reports(), [])

    # ------------------------------------------------------------------ -run

    def test_run_splits_arguments_and_reports_the_result(self):
        self.get("echo")
        # The argument text reaches the decryptor as typed, capitals included.
        out = self.run_client("-run", "echo", "-ARGS", 'One "Two  Three" four')
        folder = self.files_folder("echo", "1.1.0")
        expected = [
            "echo: argc=5",
            "echo: arg[0]=" + folder,
            "echo: arg[1]=" + self.telemetry_file("echo", "1.1.0"),
            "echo: arg[2]=One",
            "echo: arg[3]=Two  Three",
            "echo: arg[4]=four",
        ]
        self.assertEqual(out, BANNER + RUNNING + "\n".join(expected) + "\n" + SUCCEEDED)
        [report] = self.reports()
        self.assertEqual(report["decryptor"]["name"], "echo")
        self.assertEqual(report["decryptor"]["version"], "1.1.0")
        self.assertEqual(report["decryptor"]["totaldecrypt"], 43)
        self.assertEqual(report["decryptor"]["status"], 1)
        self.assertEqual(report["decryptor"]["custom"], "")
        self.assertEqual(report["kyrdecrypt"], "1.0.0.100")
        with open(os.path.join(self.data_folder, "data", "machine.id"), encoding="utf-8") as machine:
            self.assertEqual(report["machineid"], machine.read())
        self.assertRegex(report["id"], r"^\{[0-9A-F-]{36}\}-\{\d+\}$")

    def test_custom_telemetry_file_is_sent_as_base64_and_deleted(self):
        self.get("echo", "-ver", "1.0.0")
        self.run_client("-run", "echo", "-args", "--telemetry [1,2,{}]")
        self.run_client("-run", "echo", "-args", "--telemetry notjson")
        first, second = self.reports()
        self.assertEqual(base64.b64decode(first["decryptor"]["custom"]), b"[1,2,{}]")
        self.assertEqual(second["decryptor"]["custom"], "")
        self.assertFalse(os.path.exists(self.telemetry_file("echo", "1.0.0")))

    def test_opting_out_sends_no_report_and_leaves_no_telemetry_file(self):
        self.get("echo", "-ver", "1.0.0")
        plain = self.run_client("-run", "echo", "-args", "--telemetry [1]")
        for variable in ("KYRDECRYPT_NO_TELEMETRY", "DO_NOT_TRACK"):
            self.assertEqual(self.run_client("-run", "echo", "-args", "--telemetry [1]", **{variable: "1"}), plain)
            self.assertFalse(os.path.exists(self.telemetry_file("echo", "1.0.0")), variable)
        self.assertEqual(len(self.reports()), 1)  # the run without either variable

    def test_run_that_reports_failure(self):
        self.get("echo", "-ver", "1.0.0")
        out = self.run_client("-run", "echo", "-args", "--fail")
        self.assertTrue(out.endswith(OPERATION_ERROR + FAILED), out)
        [report] = self.reports()
        self.assertEqual((report["decryptor"]["totaldecrypt"], report["decryptor"]["status"]), (-1, 0))

    def test_tampered_installed_file_is_refused_and_the_decryptor_not_called(self):
        self.get("echo", "-ver", "1.0.0")
        with open(os.path.join(self.files_folder("echo", "1.0.0"), DECRYPTOR_FILE), "ab") as library:
            library.write(b"\0")
        self.assertEqual(self.run_client("-run", "echo", "-args", "x"), BANNER + RUNNING + FILES_INVALID + FAILED)
        self.assertEqual(self.run_client("-about", "echo"), BANNER + RUNNING + FILES_INVALID + FAILED)
        [report] = self.reports()
        self.assertEqual((report["decryptor"]["totaldecrypt"], report["decryptor"]["status"]), (-1, 0))

    def test_tampered_library_is_refused(self):
        self.get("echo", "-ver", "1.0.0")
        library = os.path.join(self.data_folder, "libraries", "echoutil", "1.0.0", "echoutil", LIBRARY_FILE)
        with open(library, "ab") as out:
            out.write(b"\0")
        self.assertEqual(self.run_client("-run", "echo"), BANNER + RUNNING + FILES_INVALID + FAILED)

    def test_run_and_about_without_a_local_version(self):
        self.assertEqual(self.run_client("-run", "echo"), BANNER + RUNNING + NOT_FOUND + FAILED)
        self.assertEqual(self.run_client("-about", "echo"), BANNER + RUNNING + NOT_FOUND + FAILED)
        # An explicit version is tried even though it was never downloaded.
        self.assertEqual(self.run_client("-run", "echo", "-ver", "1.0.0", "-args", "x"),
                         BANNER + RUNNING + NOT_FOUND + FAILED)
        self.assertEqual(self.run_client("-about", "echo", "-ver", ".."), BANNER + RUNNING + OPERATION_ERROR + FAILED)
        # Only the run that made an element reports, with no result.
        [report] = self.reports()
        self.assertEqual((report["decryptor"]["totaldecrypt"], report["decryptor"]["status"]), (-1, 0))

    def test_download_progress_goes_to_a_terminal_on_stderr_only(self):
        data = os.path.join(self.work, "data.bin")
        with open(data, "wb") as out:
            out.write(os.urandom(8 << 20))
        self.publish("decryptor", "big", "1.0.0", {DECRYPTOR_FILE: self.decryptor_binary, "data.bin": data},
                     "--runtime-version", "1.0", "--module", DECRYPTOR_FILE, "--run", "run", "--help", "help",
                     "--dependency", "lib:echoutil:1.0.0")
        # Piped: no status line at all.
        env = dict(os.environ, PROGRAMDATA=self.program_data)
        piped = subprocess.run([self.config["client"], "-get", "big", "-ver", "1.0.0"], env=env, capture_output=True,
                               timeout=harness.CLIENT_RUN_SECONDS)
        self.assertEqual((piped.stdout.decode(), piped.stderr), (BANNER + GETTING + SUCCEEDED, b""))
        shutil.rmtree(self.data_folder)
        # A terminal on stderr: the line is drawn there, then erased; stdout keeps its exact texts.
        primary, secondary = pty.openpty()
        try:
            done = subprocess.run([self.config["client"], "-get", "big", "-ver", "1.0.0"], env=env,
                                  stdout=subprocess.PIPE, stderr=secondary, timeout=harness.CLIENT_RUN_SECONDS)
            os.close(secondary)
            terminal = b""
            while chunk := self.read_terminal(primary):
                terminal += chunk
        finally:
            os.close(primary)
        self.assertEqual(done.stdout.decode(), BANNER + GETTING + SUCCEEDED)
        text = terminal.decode()
        self.assertRegex(text, r"^\r\x1b\[Kdecryptor big 1\.0\.0: [0-9.]+ [KMG]?i?B of 8\.0 MiB \([0-9]+%\), ")
        self.assertIn("\r\x1b[Klibrary echoutil 1.0.0: ", text)
        self.assertTrue(text.endswith("\r\x1b[K"), text)

    @staticmethod
    def read_terminal(primary):
        """What the client left on the terminal; the end reads as EIO once its side is closed."""
        try:
            return os.read(primary, 65536)
        except OSError:
            return b""


if __name__ == "__main__":
    unittest.main()
