"""kyrbundle end to end: fetch from the real server, then install on a "machine" (a data folder
root of its own) whose server is gone, with the native echo decryptor and its library. The
Python decryptor's bundle (runtime, library, pip library) is tested in test_python.py."""

import json
import os
import shutil
import socket
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_packages  # noqa: E402

TREE_FILES = [
    "package/download/64/echo/0.0.0", "package/download/64/echo/1.0.0", "package/download/64/echo/1.1.0",
    "library/download/64/echoutil/1.0.0", "package/query/latestver/64/echo", "package/identify/0.0.0",
]


def files_under(path):
    if os.path.isfile(path):
        return [path]
    return [os.path.join(root, name) for root, _, names in os.walk(path) for name in names]


class NoConnections:
    """Listens on the server's port in place of the server: any request would be a connection."""

    def __init__(self, port):
        self.socket = socket.create_server(("127.0.0.1", port))
        self.socket.settimeout(0)

    def accepted_any(self):
        try:
            self.socket.accept()[0].close()
            return True
        except BlockingIOError:
            return False

    def close(self):
        self.socket.close()


class BundleTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.echo, self.echo_util = os.environ.get("KYR_E2E_ECHO"), os.environ.get("KYR_E2E_ECHO_UTIL")
        if not (self.echo and self.echo_util):
            self.fail("KYR_E2E_ECHO and KYR_E2E_ECHO_UTIL must be set (run through ctest)")
        self.add_package_file("libraries", "echoutil", "1.0.0",
                              self.pack("library", "echoutil", "1.0.0", {test_packages.LIBRARY_FILE: self.echo_util}))
        for version in ("1.0.0", "1.1.0"):
            self.add_package_file("decryptors", "echo", version,
                                  self.pack("decryptor", "echo", version, *test_packages.echo_decryptor(self.echo)))
        self.kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                     "--decryptor", "echo", "--extension", ".kyrl")
        # A space on the way, as on a USB stick named by a user.
        self.bundle = os.path.join(self.work, "usb stick", "bundle")
        self.isolated = self.fresh_machine("isolated")

    def fresh_machine(self, name):
        folder = os.path.join(self.work, name)
        os.makedirs(folder)
        return folder

    def bundle_ok(self, *arguments, program_data=None):
        status, out, err = self.run_bundle(*arguments, program_data=program_data)
        self.assertEqual(status, 0, out + err)
        self.assertEqual(err, "")
        return out

    def fetched_bundle(self):
        self.start_server()
        self.assertEqual(self.bundle_ok("fetch", "--out", self.bundle, "echo"),
                         f"Fetched echo 1.1.0 into {self.bundle} (2 package files).\n")
        library = os.path.join(self.bundle, "library", "download", "64", "echoutil", "1.0.0")
        before = os.stat(library)
        self.bundle_ok("fetch", "--out", self.bundle, "echo", "--ver", "1.0.0")
        # The same file twice is written once.
        self.assertEqual(os.stat(library).st_ino, before.st_ino)
        # A build without signed repository metadata never asks for it.
        self.assertEqual([line for line in self.server.requests() if "/trust/" in line], [])
        self.stop_server()
        return self.bundle

    def data_of(self, machine, *parts):
        return os.path.join(machine, "Kyrowan", "KyrDecrypt", *parts)

    def recorded(self, machine):
        try:
            with open(self.data_of(machine, "data", "decryptors.json"), encoding="utf-8") as catalogue:
                return {entry["name"]: entry["versions"] for entry in json.load(catalogue)["packages"]}
        except FileNotFoundError:
            return {}

    def run_on(self, machine, *arguments):
        command, env = harness.client_process(self.config, machine, arguments)
        done = harness.subprocess.run(command, env=env, capture_output=True, timeout=harness.CLIENT_RUN_SECONDS)
        return done.stdout.decode("utf-8")

    def test_a_fetched_bundle_installs_and_runs_with_no_network(self):
        bundle = self.fetched_bundle()
        for path in TREE_FILES:
            with open(os.path.join(bundle, *path.split("/")), "rb") as got:
                with open(os.path.join(self.repository, *path.split("/")), "rb") as published:
                    self.assertEqual(got.read(), published.read(), path)
        with open(os.path.join(bundle, "bundle.json"), encoding="utf-8") as text:
            note = json.load(text)
        self.assertEqual([(f["name"], f["version"]) for f in note["fetched"]], [("echo", "1.1.0"), ("echo", "1.0.0")])
        self.assertEqual(self.bundle_ok("list", bundle), "".join(line + ": signature good\n" for line in (
            "decryptor echo latest", "decryptor echo 1.0.0", "decryptor echo 1.1.0", "library echoutil 1.0.0",
            "identification index")))
        listener = NoConnections(self.port)
        self.addCleanup(listener.close)
        self.assertEqual(self.bundle_ok("install", bundle, program_data=self.isolated),
                         "Installed echo 1.0.0 from the bundle.\nInstalled echo 1.1.0 from the bundle.\n"
                         "Kept the bundle's identification index for kyridentify.\n")
        self.assertFalse(listener.accepted_any())
        listener.close()
        self.assertEqual(self.recorded(self.isolated), {"echo": ["1.0.0", "1.1.0"]})
        out = self.run_on(self.isolated, "-run", "echo", "-args", "one two")
        self.assertIn("echo: arg[2]=one\necho: arg[3]=two\n" + test_packages.SUCCEEDED, out)
        self.assertTrue(self.run_on(self.isolated, "-about", "echo").endswith(
            test_packages.HELP_LINE + test_packages.SUCCEEDED))
        victim = os.path.join(self.work, "victim.doc.kyrl")
        open(victim, "wb").close()
        command, env = harness.client_process(self.config, self.isolated, [victim], program="identify")
        done = harness.subprocess.run(command, env=env, capture_output=True, timeout=harness.CLIENT_RUN_SECONDS)
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn(b"using the index kept on this machine", done.stdout)
        self.assertIn(b"next: kyrdecrypt -get echo", done.stdout)

    def test_a_changed_byte_in_any_bundle_file_is_refused(self):
        bundle = self.fetched_bundle()
        rows = [  # the file changed, what it installs under the data root, what is still installed
            ("package/download/64/echo/1.1.0", "decryptors/echo/1.1.0", {}),
            ("library/download/64/echoutil/1.0.0", "libraries/echoutil", {}),
            ("package/identify/0.0.0", "data/identify-index.kpkg", {"echo": ["1.1.0"]}),
        ]
        for changed, installed, recorded in rows:
            with self.subTest(changed=changed):
                copy = os.path.join(self.work, "changed-" + os.path.basename(installed))
                shutil.copytree(bundle, copy)
                with open(os.path.join(copy, *changed.split("/")), "r+b") as target:
                    target.seek(-1, os.SEEK_END)
                    last = target.read(1)
                    target.seek(-1, os.SEEK_END)
                    target.write(bytes([last[0] ^ 1]))
                machine = self.fresh_machine("machine-" + os.path.basename(installed))
                status, out, err = self.run_bundle("install", copy, "echo", program_data=machine)
                self.assertEqual(status, 1, out)
                self.assertIn("failed its signature check", err)
                self.assertEqual(files_under(self.data_of(machine, *installed.split("/"))), [])
                self.assertEqual(self.recorded(machine), recorded)
                self.assertEqual(self.run_bundle("list", copy)[0], 1)

    def test_a_bundle_assembled_by_hand_from_a_published_tree_installs(self):
        shutil.copytree(self.repository, self.bundle)
        self.assertEqual(self.bundle_ok("install", self.bundle, "echo", "--ver", "1.0.0"),
                         "Installed echo 1.0.0 from the bundle.\nKept the bundle's identification index for kyridentify.\n")
        self.assertEqual(self.recorded(self.program_data), {"echo": ["1.0.0"]})
        # A damaged installation is repaired from the bundle, as -get repairs it from the server.
        installed = os.path.join(self.data_folder, "decryptors", "echo", "1.0.0", "echo", test_packages.DECRYPTOR_FILE)
        with open(installed, "ab") as damaged:
            damaged.write(b"x")
        self.bundle_ok("install", self.bundle, "echo", "--ver", "1.0.0")
        self.assertIn("echo: argc=2\n", self.run_client("-run", "echo"))

    def test_usage_errors_and_missing_decryptors(self):
        os.makedirs(self.bundle)
        rows = [
            (["fetch", "echo"], 2, "fetch needs --out DIR and one NAME. Try kyrbundle --help.\n"),
            (["install"], 2, "install needs DIR, then NAME if --ver is given. Try kyrbundle --help.\n"),
            (["install", self.bundle, "--ver", "1.0"], 2, "install needs DIR, then NAME if --ver is given. "
                                                          "Try kyrbundle --help.\n"),
            (["list", self.bundle, "--bogus"], 2, "Unknown option --bogus. Try kyrbundle --help.\n"),
            (["unpack", self.bundle], 2, "Unknown command unpack. Try kyrbundle --help.\n"),
            (["install", self.bundle, "echo"], 1, "The bundle holds no decryptor echo.\n"),
            (["install", os.path.join(self.work, "nowhere")], 1, f"No bundle at {self.work}/nowhere.\n"),
        ]
        for arguments, status, out in rows:
            with self.subTest(arguments=arguments):
                got_status, got_out, err = self.run_bundle(*arguments)
                self.assertEqual((got_status, got_out), (status, out))
                self.assertTrue(err.startswith("kyrbundle: "), err)
        status, out, _ = self.run_bundle("--version")
        self.assertEqual(status, 0)
        self.assertRegex(out, r"^kyrbundle \S+\nserver: \S+:\d+\nsigning key SHA-256: [0-9a-f]{64}\n$")


if __name__ == "__main__":
    unittest.main()
