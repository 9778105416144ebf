"""Signed repository metadata end to end: a client built with a first root made by kyrpack
trust init, against the real server serving a tree kyrpack published with a snapshot."""

import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_packages as packages  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def kyrpack(*arguments):
    done = subprocess.run([os.environ["KYRPACK"], *arguments], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"kyrpack {arguments[0]} failed: {done.stderr}")
    return done.stdout


class TrustTest(harness.E2ETestCase):
    @classmethod
    def setUpClass(cls):
        config = harness.load_config()
        cls.keys = tempfile.mkdtemp(prefix="kyr-e2e-trust-")
        for name in ("root", "snapshot"):
            kyrpack("keygen", "--out", os.path.join(cls.keys, name))
        cls.first = os.path.join(cls.keys, "first")
        kyrpack("trust", "init", "--repo", cls.first, "--root-key", os.path.join(cls.keys, "root-private.pem"),
                "--root-threshold", "1", "--snapshot-key", os.path.join(cls.keys, "snapshot-public.pem"),
                "--snapshot-threshold", "1", "--expires-days", "30")
        # The harness's client and companions, built once more with the first root.
        cls.programs = harness.build_client(
            SOURCE, os.path.join(os.environ["KYR_E2E_WORK"], "trust-client-build"), config,
            "-DKYRDECRYPT_TRUST_ROOT=" + os.path.join(cls.first, "trust", "root", "1.json"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.config = dict(self.config, **self.programs)
        shutil.copytree(os.path.join(self.first, "trust"), os.path.join(self.repository, "trust"))
        echo, util = os.environ["KYR_E2E_ECHO"], os.environ["KYR_E2E_ECHO_UTIL"]
        self.publish(self.pack("library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: util}),
                     self.pack("decryptor", "echo", "1.0.0", *packages.echo_decryptor(echo)))
        self.start_server()

    def publish(self, *files):
        kyrpack("publish", "--public", self.config["signing_public_key"], "--repo", self.repository,
                "--snapshot-key", os.path.join(self.keys, "snapshot-private.pem"), *files)

    def native_path(self, path):
        """The path as the client under test names it."""
        return harness.windows_path(path) if "wine" in self.config else path

    def run_on(self, machine, *arguments):
        """Runs the client with that data folder root; (stdout, stderr)."""
        command, env = harness.client_process(self.config, machine, arguments)
        done = subprocess.run(command, env=env, capture_output=True, timeout=harness.CLIENT_RUN_SECONDS)
        return done.stdout.decode(), done.stderr.decode()

    def test_every_answer_is_held_to_the_published_snapshot(self):
        self.assertEqual(self.run_client("-get", "echo"), packages.BANNER + packages.GETTING + packages.SUCCEEDED)
        paths = [line.split(" ")[1] for line in self.server.requests()]
        self.assertEqual(paths[:2], ["/trust/root/2.json", "/trust/snapshot.json"])
        # Another byte where the snapshot names other bytes: refused, and nothing installed.
        package = self.package_path("decryptors", "echo", "1.0.0")
        with open(package, "ab") as changed:
            changed.write(b"x")
        out, err = self.run_on(tempfile.mkdtemp(dir=self.work), "-get", "echo", "-ver", "1.0.0")
        self.assertEqual(out, packages.BANNER + packages.GETTING + packages.DOWNLOAD_FAILED + packages.FAILED)
        self.assertIn("more than the", err)
        # A snapshot older than the one this machine kept: every tree request fails.
        older = os.path.join(self.work, "older-snapshot.json")
        shutil.copy(os.path.join(self.repository, "trust", "snapshot.json"), older)
        kyrpack("trust", "snapshot", "--repo", self.repository, "--snapshot-key",
                os.path.join(self.keys, "snapshot-private.pem"))
        self.run_client("-list")  # keeps the newer snapshot
        shutil.copy(older, os.path.join(self.repository, "trust", "snapshot.json"))
        out, err = self.run_on(self.program_data, "-list")
        self.assertIn(harness.LIST_FAILED, out)
        self.assertIn("older than version", err)

    def test_a_bundle_carries_the_metadata_and_installs_against_it(self):
        bundle = os.path.join(self.work, "bundle")
        status, out, err = self.run_bundle("fetch", "--out", self.native_path(bundle), "echo")
        self.assertEqual(status, 0, out + err)
        self.assertTrue(os.path.isfile(os.path.join(bundle, "trust", "root", "1.json")))
        self.stop_server()
        machine = tempfile.mkdtemp(dir=self.work)
        self.assertEqual(self.run_bundle("install", self.native_path(bundle), "echo", program_data=machine)[:2],
                         (0, "Installed echo 1.0.0 from the bundle.\n"))
        # Its snapshot has expired since the fetch: an offline bundle is used all the same, and says so.
        self.sign_expired_snapshot(os.path.join(bundle, "trust", "snapshot.json"))
        status, out, err = self.run_bundle("install", self.native_path(bundle), "echo",
                                           program_data=tempfile.mkdtemp(dir=self.work))
        self.assertEqual(status, 0, err)
        self.assertRegex(out, r"\AInstalled echo 1\.0\.0 from the bundle\.\nThe bundle's signed repository metadata is "
                              r"out of date \(its snapshot expired at 2020-01-01T00:00:00Z, and this machine's clock says "
                              r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\); it was used all the same\.\n\Z")
        with open(self.package_path("decryptors", "echo", "1.0.0"), "rb") as published:
            tampered = published.read() + b"x"
        with open(os.path.join(bundle, "package", "download", "64", "echo", "1.0.0"), "wb") as changed:
            changed.write(tampered)
        status, _, err = self.run_bundle("install", self.native_path(bundle), "echo",
                                         program_data=tempfile.mkdtemp(dir=self.work))
        self.assertEqual(status, 1, err)

    def sign_expired_snapshot(self, path):
        """Signs the snapshot at `path` again, as expired at the start of 2020."""
        with open(path) as kept:
            snapshot = json.load(kept)
        snapshot["signed"]["expires"] = "2020-01-01T00:00:00Z"
        text = os.path.join(self.work, "snapshot-signed-text")
        with open(text, "w") as signed:
            signed.write(json.dumps(snapshot["signed"], separators=(",", ":"), sort_keys=True))
        kyrpack("sign-file", "--key", os.path.join(self.keys, "snapshot-private.pem"), text)
        with open(text + ".sig", "rb") as signature:
            snapshot["signatures"] = [dict(snapshot["signatures"][0], sig=base64.b64encode(signature.read()).decode())]
        with open(path, "w") as changed:
            json.dump(snapshot, changed)

    def hints(self, note):
        """Publishes an index with one family and that note, and signs the snapshot again."""
        kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                "--decryptor", "echo", "--family", "Echo", "--extension", ".echoed", "--note", note)
        kyrpack("trust", "snapshot", "--repo", self.repository, "--snapshot-key",
                os.path.join(self.keys, "snapshot-private.pem"))

    def test_identify_holds_the_index_to_the_snapshot(self):
        victims = os.path.join(self.work, "Locked Files")
        os.makedirs(victims)
        for name in ("a.txt.echoed", "howto.txt"):
            open(os.path.join(victims, name), "wb").close()
        index = os.path.join(self.repository, "package", "identify", "0.0.0")
        self.hints("older*.txt")
        with open(index, "rb") as published:
            older = published.read()
        self.hints("howto*.txt")
        status, out = self.run_identify(self.native_path(victims))
        self.assertEqual(status, 0, out)
        self.assertIn("note howto*.txt: 1 file", out)
        # The older index, correctly signed with the package key, where the snapshot names the newer one.
        with open(index, "wb") as rolled_back:
            rolled_back.write(older)
        status, out = self.run_identify(self.native_path(victims))
        self.assertEqual(status, 0, out)
        self.assertTrue(out.startswith("The server could not be reached; using the index kept on this machine"), out)
        self.assertIn("note howto*.txt: 1 file", out)


if __name__ == "__main__":
    unittest.main()
