"""The client's Debian package: cpack makes it from the build tree, and the kyrdecrypt it installs runs."""

import glob
import os
import subprocess
import sys
import tempfile
import unittest

BUILD = os.environ.get("KYR_BUILD_DIR", "")
CLIENT = os.environ.get("KYRDECRYPT_BIN", "")
CPACK = os.environ.get("KYR_CPACK", "cpack")


def cpack(folder, *arguments):
    subprocess.run([CPACK, "-G", "DEB", *arguments, "-B", folder, "--config", os.path.join(BUILD, "CPackConfig.cmake")],
                   cwd=BUILD, check=True, capture_output=True, timeout=600)


class ClientPackageTest(unittest.TestCase):
    def test_both_packages_are_lintian_clean_with_licence_and_changelog(self):
        with tempfile.TemporaryDirectory() as temp:
            cpack(temp)
            packages = sorted(glob.glob(os.path.join(temp, "*.deb")))
            self.assertEqual([os.path.basename(p).split("_")[0] for p in packages],
                             ["kyrdecrypt-publisher", "kyrdecrypt"])
            for package in packages:
                listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True,
                                         check=True).stdout
                name = os.path.basename(package).split("_")[0]
                for doc in ("copyright", "changelog.gz"):
                    self.assertIn(f"./usr/share/doc/{name}/{doc}\n", listing)
                lint = subprocess.run(["lintian", "--fail-on", "error,warning", package],
                                      capture_output=True, text=True, timeout=300)
                self.assertEqual((lint.returncode, lint.stdout), (0, ""), package)

    def test_installed_client_shows_the_same_help(self):
        with tempfile.TemporaryDirectory() as temp:
            cpack(temp, "-D", "CPACK_COMPONENTS_ALL=client")
            packages = glob.glob(os.path.join(temp, "kyrdecrypt_*.deb"))
            self.assertEqual(len(packages), 1, os.listdir(temp))
            root = os.path.join(temp, "root")
            subprocess.run(["dpkg", "-x", packages[0], root], check=True, timeout=60)
            for page in ("kyrdecrypt", "kyridentify"):
                self.assertTrue(os.path.isfile(os.path.join(root, f"usr/share/man/man1/{page}.1.gz")), page)
            environment = dict(os.environ, PROGRAMDATA=os.path.join(temp, "data"))
            installed, built = (subprocess.run([binary, "-help"], capture_output=True, text=True, timeout=60,
                                               env=environment)
                                for binary in (os.path.join(root, "usr/bin/kyrdecrypt"), CLIENT))
            self.assertEqual(installed.returncode, 0, installed.stderr)
            self.assertIn("Usage: KyrDecrypt <command> [arguments...]\n", installed.stdout)
            self.assertEqual(installed.stdout, built.stdout)


if __name__ == "__main__":
    if not BUILD or not CLIENT:
        sys.exit("set KYR_BUILD_DIR to the build folder and KYRDECRYPT_BIN to its kyrdecrypt")
    unittest.main()
