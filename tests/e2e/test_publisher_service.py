"""The publisher package's service unit and maintainer scripts, checked without installing them."""

import json
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest

PACKAGING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging")
UNIT = os.path.join(PACKAGING, "kyrdecrypt-server.service")
SNAPSHOT_UNITS = ("kyrdecrypt-snapshot.service", "kyrdecrypt-snapshot.timer")
SNAPSHOT_CONF = "/etc/kyrdecrypt-server/snapshot.conf"
# What a TLS server on port 443 needs; every other exposure must be closed.
NEEDED = ("RootDirectory=", "AmbientCapabilities=", "RestrictAddressFamilies=~AF_UNIX",
          "RestrictAddressFamilies=~AF_(INET|INET6)", "CapabilityBoundingSet=~CAP_NET_", "PrivateNetwork=",
          "PrivateUsers=", "DeviceAllow=", "IPAddressDeny=")


def unit_lines(name):
    with open(os.path.join(PACKAGING, name)) as unit:
        return unit.read().splitlines()


def assignments(words):
    return dict(word.split("=", 1) for word in words)


def exec_start(variables):
    """The snapshot service's command with its variables expanded the way systemd does."""
    [line] = [line for line in unit_lines("kyrdecrypt-snapshot.service") if line.startswith("ExecStart=")]
    words = []
    for word in line[len("ExecStart="):].split():
        if re.fullmatch(r"\$\w+", word):  # unbraced: the value's words become arguments
            words += variables[word[1:]].split()
        else:
            words.append(re.sub(r"\$\{(\w+)\}", lambda m: variables[m.group(1)], word))
    return words


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

            # Recorded, never enabled: the server waits for its certificate, the timer for its keys.
            self.assertEqual(run("postinst", "configure", ""),
                             ["deb-systemd-helper unmask kyrdecrypt-server.service",
                              "deb-systemd-helper update-state kyrdecrypt-server.service",
                              "deb-systemd-helper unmask kyrdecrypt-snapshot.timer",
                              "deb-systemd-helper update-state kyrdecrypt-snapshot.timer"])
            self.assertEqual(run("postinst", "configure", "1.0.0")[-1],
                             "deb-systemd-invoke try-restart kyrdecrypt-server.service")
            self.assertEqual(run("prerm", "remove"),
                             ["deb-systemd-invoke stop kyrdecrypt-server.service kyrdecrypt-snapshot.timer"])
            self.assertEqual(run("postrm", "remove"), ["deb-systemd-helper mask kyrdecrypt-server.service",
                                                       "deb-systemd-helper mask kyrdecrypt-snapshot.timer"])

    def test_snapshot_timer_is_daily_and_does_nothing_until_configured(self):
        for name in SNAPSHOT_UNITS:
            self.assertIn("ConditionPathExists=" + SNAPSHOT_CONF, unit_lines(name), name)
        timer = unit_lines("kyrdecrypt-snapshot.timer")
        self.assertEqual([line for line in timer if line.startswith(("OnCalendar=", "Persistent="))],
                         ["OnCalendar=daily", "Persistent=true"])
        if not shutil.which("systemd-analyze"):
            self.skipTest("no systemd-analyze")
        with tempfile.TemporaryDirectory() as folder:
            # The package is not installed: a stand-in takes kyrpack's place for the check.
            for name in SNAPSHOT_UNITS:
                with open(os.path.join(folder, name), "w") as copy:
                    copy.write("\n".join(unit_lines(name)).replace("/usr/bin/kyrpack", shutil.which("true")))
            done = subprocess.run(["systemd-analyze", "verify", "--man=no",
                                   *(os.path.join(folder, name) for name in SNAPSHOT_UNITS)],
                                  capture_output=True, text=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (0, ""))

    @unittest.skipUnless(os.environ.get("KYRPACK"), "no kyrpack built")
    def test_the_example_configuration_makes_the_service_sign_the_next_snapshot(self):
        kyrpack = os.environ["KYRPACK"]
        with tempfile.TemporaryDirectory() as folder:
            repo = os.path.join(folder, "repository")
            for role in ("root", "snapshot"):
                subprocess.run([kyrpack, "keygen", "--bits", "2048", "--out", os.path.join(folder, role)],
                               check=True, capture_output=True, timeout=120)
            key = os.path.join(folder, "snapshot-private.pem")
            subprocess.run([kyrpack, "trust", "init", "--repo", repo, "--root-key",
                            os.path.join(folder, "root-private.pem"), "--snapshot-key", key],
                           check=True, capture_output=True, timeout=60)
            [defaults] = [line.split("=", 1)[1] for line in unit_lines("kyrdecrypt-snapshot.service")
                          if line.startswith("Environment=")]
            variables = assignments(shlex.split(defaults))
            # An EnvironmentFile line's value is the rest of the line.
            variables.update(assignments(line for line in unit_lines("snapshot.conf")
                                         if line and not line.startswith("#")), REPO=repo)
            variables["SNAPSHOT_KEYS"] = variables["SNAPSHOT_KEYS"].replace(
                "/etc/kyrdecrypt-server/snapshot-private.pem", key)
            command = exec_start(variables)
            self.assertEqual(command[0], "/usr/bin/kyrpack")
            for version in (1, 2):
                done = subprocess.run([kyrpack, *command[1:]], capture_output=True, text=True, timeout=60)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(os.path.join(repo, "trust", "snapshot.json")) as snapshot:
                    self.assertEqual(json.load(snapshot)["signed"]["version"], version)


if __name__ == "__main__":
    unittest.main()
