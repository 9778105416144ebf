"""The publisher package's service unit and maintainer scripts, checked without installing them."""

import os
import shutil
import subprocess
import tempfile
import unittest

PACKAGING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging")
UNIT = os.path.join(PACKAGING, "kyrdecrypt-server.service")
# What a TLS server on port 443 needs; every other exposure must be closed.
NEEDED = ("RootDirectory=", "AmbientCapabilities=", "RestrictAddressFamilies=~AF_UNIX",
          "RestrictAddressFamilies=~AF_(INET|INET6)", "CapabilityBoundingSet=~CAP_NET_", "PrivateNetwork=",
          "PrivateUsers=", "DeviceAllow=", "IPAddressDeny=")


class PublisherServiceTest(unittest.TestCase):
    def test_unit_keeps_the_database_private_and_the_tree_read_only(self):
        with open(UNIT) as unit:
            lines = unit.read().splitlines()
        self.assertIn("UMask=0077", lines)
        self.assertIn("ReadOnlyPaths=/var/lib/kyrdecrypt-server/repository", lines)
        if not shutil.which("systemd-analyze"):
            self.skipTest("no systemd-analyze")
        with tempfile.TemporaryDirectory() as folder:
            # Offline analysis wants the unit under its own name.
            shutil.copy(UNIT, folder)
            done = subprocess.run(["systemd-analyze", "security", "--offline=yes", "--no-pager",
                                   os.path.join(folder, "kyrdecrypt-server.service")],
                                  capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn("UNSAFE", done.stdout)
        open_items = [line.split()[1] for line in done.stdout.splitlines() if line.startswith("✗")]
        self.assertEqual([item for item in open_items if not item.startswith(NEEDED)], [])

    def test_scripts_stop_on_removal_and_restart_on_upgrade(self):
        with tempfile.TemporaryDirectory() as folder:
            calls = os.path.join(folder, "calls")
            for tool in ("deb-systemd-helper", "deb-systemd-invoke", "systemctl", "getent", "adduser", "install"):
                with open(os.path.join(folder, tool), "w") as stub:
                    stub.write(f'#!/bin/sh\necho "{tool} $*" >> "{calls}"\n')
                os.chmod(os.path.join(folder, tool), 0o755)
            env = dict(os.environ, PATH=folder + os.pathsep + os.environ["PATH"])

            def run(script, *arguments):
                if os.path.exists(calls):
                    os.remove(calls)
                subprocess.run(["sh", os.path.join(PACKAGING, "publisher", script), *arguments], env=env,
                               check=True, timeout=30)
                with open(calls) as log:
                    return [line for line in log.read().splitlines() if line.startswith("deb-systemd")]

            self.assertEqual(run("postinst", "configure", ""),
                             ["deb-systemd-helper unmask kyrdecrypt-server.service",
                              "deb-systemd-helper update-state kyrdecrypt-server.service"])
            self.assertEqual(run("postinst", "configure", "1.0.0")[-1],
                             "deb-systemd-invoke try-restart kyrdecrypt-server.service")
            self.assertEqual(run("prerm", "remove"), ["deb-systemd-invoke stop kyrdecrypt-server.service"])
            self.assertEqual(run("postrm", "remove"), ["deb-systemd-helper mask kyrdecrypt-server.service"])


if __name__ == "__main__":
    unittest.main()
