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


SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def publisher_names(identifier):
    """Debian package names, winget/Scoop identifier and MSI upgrade code for one publisher identifier."""
    with tempfile.TemporaryDirectory() as temp:
        script = os.path.join(temp, "names.cmake")
        with open(script, "w") as f:
            f.write(f'include("{SOURCE}/cmake/KyrDecryptIdentity.cmake")\n'
                    'message(NOTICE "${KYR_DEB_CLIENT} ${KYR_DEB_PUBLISHER} ${KYR_PACKAGE_IDENTIFIER} '
                    '${KYR_MSI_UPGRADE_CODE}")\n')
        result = subprocess.run(["cmake", f"-DKYRDECRYPT_PUBLISHER_ID={identifier}", "-P", script],
                                capture_output=True, text=True, timeout=60)
        return result.returncode, result.stderr.split()


class ClientPackageTest(unittest.TestCase):
    def test_each_publisher_identifier_names_its_own_packages(self):
        status, own = publisher_names("kyrowan")
        self.assertEqual((status, own[:3]), (0, ["kyrdecrypt", "kyrdecrypt-publisher", "kyrowan.KyrDecrypt"]))
        self.assertEqual(publisher_names("kyrowan"), (0, own))  # stable across builds
        status, other = publisher_names("acme")
        self.assertEqual((status, other[:3]), (0, ["kyrdecrypt-acme", "kyrdecrypt-acme-publisher", "acme.KyrDecrypt"]))
        self.assertNotEqual(other[3], own[3])
        self.assertNotEqual(publisher_names("Not An Id")[0], 0)

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
                if name == "kyrdecrypt-publisher":
                    for unit in ("kyrdecrypt-server.service", "kyrdecrypt-snapshot.service",
                                 "kyrdecrypt-snapshot.timer"):
                        self.assertIn(f"./lib/systemd/system/{unit}\n", listing)
                    self.assertIn(f"./usr/share/doc/{name}/examples/snapshot.conf\n", listing)
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
