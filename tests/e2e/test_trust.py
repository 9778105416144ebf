"""Signed repository metadata end to end: a client built with a first root made by kyrpack
trust init, against the real server serving a tree kyrpack published with a snapshot."""

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
        # The harness's client, built once more with the first root.
        build = os.path.join(os.environ["KYR_E2E_WORK"], "trust-client-build")
        harness.build_client(SOURCE, build, config,
                             "-DKYRDECRYPT_TRUST_ROOT=" + os.path.join(cls.first, "trust", "root", "1.json"),
                             targets=("kyrdecrypt", "kyrbundle"))
        cls.build = build

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.config = dict(self.config, client=os.path.join(self.build, "kyrdecrypt"),
                           bundle=os.path.join(self.build, "kyrbundle"))
        shutil.copytree(os.path.join(self.first, "trust"), os.path.join(self.repository, "trust"))
        echo, util = os.environ["KYR_E2E_ECHO"], os.environ["KYR_E2E_ECHO_UTIL"]
        self.publish(self.pack("library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: util}),
                     self.pack("decryptor", "echo", "1.0.0", *packages.echo_decryptor(echo)))
        self.start_server()

    def publish(self, *files):
        kyrpack("publish", "--public", self.config["signing_public_key"], "--repo", self.repository,
                "--snapshot-key", os.path.join(self.keys, "snapshot-private.pem"), *files)

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
        status, out, err = self.run_bundle("fetch", "--out", bundle, "echo")
        self.assertEqual(status, 0, out + err)
        self.assertTrue(os.path.isfile(os.path.join(bundle, "trust", "root", "1.json")))
        self.stop_server()
        machine = tempfile.mkdtemp(dir=self.work)
        self.assertEqual(self.run_bundle("install", bundle, "echo", program_data=machine)[:2],
                         (0, "Installed echo 1.0.0 from the bundle.\n"))
        with open(self.package_path("decryptors", "echo", "1.0.0"), "rb") as published:
            tampered = published.read() + b"x"
        with open(os.path.join(bundle, "package", "download", "64", "echo", "1.0.0"), "wb") as changed:
            changed.write(tampered)
        status, _, err = self.run_bundle("install", bundle, "echo", program_data=tempfile.mkdtemp(dir=self.work))
        self.assertEqual(status, 1, err)


if __name__ == "__main__":
    unittest.main()
