"""The Windows client as published: Authenticode signatures that scripts/codesign.sh makes
with a test CA's code-signing certificate, the version resource, and the MSI installed,
upgraded and removed by msiexec under Wine."""

import glob
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import yaml

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("KYRSAMPLE_BUILD", "")
MSI = os.path.join(BUILD, "KyrDecrypt-1.0.0-win64.msi")
PROGRAMS = {"KyrDecrypt": "KyrDecrypt - get, verify and run ransomware decryption tools",
            "KyrIdentify": "KyrIdentify - tells which decryptor fits the locked files",
            "KyrBundle": "KyrBundle - carries verified decryptors to a machine without a network"}


def openssl(folder, *arguments):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True)


def version_strings(exe):
    """The StringFileInfo values and the fixed file version of an executable's version resource."""
    data = subprocess.run(["wrestool", "-x", "--raw", "-t", "16", exe], capture_output=True, check=True).stdout
    strings, fixed = {}, None

    def walk(offset, end, depth):
        nonlocal fixed
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", data, offset)
            key_end = data.index(b"\0\0", offset + 6)
            key_end += (key_end - offset) % 2  # the terminator starts on a character boundary
            key = data[offset + 6:key_end].decode("utf-16-le")
            value = (key_end + 2 + 3) & ~3
            if depth == 0:
                fixed = struct.unpack_from("<13I", data, value)
                walk((value + value_length + 3) & ~3, offset + length, 1)
            elif depth == 3:
                strings[key] = data[value:value + 2 * value_length].decode("utf-16-le").rstrip("\0")
            elif kind == 1 or depth < 3:
                walk((value + (value_length if kind == 0 else 0) + 3) & ~3, offset + length, depth + 1)
            offset = (offset + length + 3) & ~3

    walk(0, len(data), 0)
    return strings, fixed


class WindowsSigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        folder = cls.ca = cls.temp.name
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=Test CA",
                "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
                "-keyout", "ca.key", "-out", "ca.pem")
        openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Test Publisher",
                "-keyout", "cs.key", "-out", "cs.csr")
        with open(os.path.join(folder, "ext"), "w") as ext:
            ext.write("extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n")
        openssl(folder, "x509", "-req", "-in", "cs.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-days", "30", "-extfile", "ext", "-out", "cs.pem")
        openssl(folder, "pkcs12", "-export", "-in", "cs.pem", "-inkey", "cs.key", "-passout", "pass:test",
                "-out", "cs.p12")
        with open(os.path.join(folder, "password"), "w") as out:
            out.write("test\n")

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(self.ca, "ca.pem"), "-in", path],
                              capture_output=True, text=True).returncode

    def test_signed_programs_and_msi_verify_against_the_ca_and_a_changed_byte_fails(self):
        pem = {"KYRDECRYPT_CODESIGN_CERT": "cs.pem", "KYRDECRYPT_CODESIGN_KEY": "cs.key"}
        pkcs12 = {"KYRDECRYPT_CODESIGN_PKCS12": "cs.p12", "KYRDECRYPT_CODESIGN_PASSWORD_FILE": "password"}
        for name, given in (("KyrDecrypt.exe", pem), ("KyrIdentify.exe", pkcs12), (os.path.basename(MSI), pem)):
            with self.subTest(name=name):
                exe = shutil.copy(os.path.join(BUILD, name), os.path.join(self.ca, name))
                self.assertNotEqual(self.verify(exe), 0)  # unsigned
                env = dict(os.environ, **{k: os.path.join(self.ca, v) for k, v in given.items()})
                subprocess.run(["bash", os.path.join(SOURCE, "scripts", "codesign.sh"), exe], env=env, check=True)
                self.assertEqual(self.verify(exe), 0)
                with open(exe, "r+b") as f:
                    f.seek(4096)
                    byte = f.read(1)
                    f.seek(4096)
                    f.write(bytes([byte[0] ^ 1]))
                self.assertNotEqual(self.verify(exe), 0)

    def test_no_certificate_is_refused_not_passed_as_signed(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith("KYRDECRYPT_CODESIGN_")}
        result = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "codesign.sh"), "x.exe"], env=env,
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)

    def test_version_resource_names_program_product_version_and_publisher(self):
        for name, description in PROGRAMS.items():
            with self.subTest(name=name):
                strings, fixed = version_strings(os.path.join(BUILD, name + ".exe"))
                self.assertEqual(fixed[0], 0xFEEF04BD)
                self.assertEqual((fixed[2], fixed[3]), (1 << 16, 0))  # 1.0.0.0
                self.assertEqual({k: strings[k] for k in ("ProductName", "FileDescription", "FileVersion",
                                                          "ProductVersion", "OriginalFilename", "CompanyName")},
                                 {"ProductName": "KyrDecrypt", "FileDescription": description,
                                  "FileVersion": "1.0.0", "ProductVersion": "1.0.0",
                                  "OriginalFilename": name + ".exe", "CompanyName": "KyrDecrypt"})
                manifest = subprocess.run(["wrestool", "-x", "--raw", "-t", "24", os.path.join(BUILD, name + ".exe")],
                                          capture_output=True, check=True, text=True).stdout
                for setting in ('level="asInvoker"', "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                                ">true</longPathAware>"):
                    self.assertIn(setting, manifest)


@unittest.skipUnless(os.environ.get("KYRPACK"), "needs the Linux build's kyrpack (KYRPACK)")
class ReleaseTest(unittest.TestCase):
    def test_checksums_signature_and_manifests_carry_the_artefacts_real_hashes(self):
        with tempfile.TemporaryDirectory() as temp:
            openssl(temp, "genpkey", "-algorithm", "RSA", "-out", "private.pem")
            openssl(temp, "rsa", "-in", "private.pem", "-RSAPublicKey_out", "-out", "public.pem")
            subprocess.run(["cpack", "-G", "ZIP", "-B", temp, "--config", os.path.join(BUILD, "CPackConfig.cmake")],
                           cwd=BUILD, check=True, capture_output=True, timeout=300)
            [archive] = glob.glob(os.path.join(temp, "*.zip"))
            out = os.path.join(temp, "release")
            subprocess.run([sys.executable, os.path.join(SOURCE, "scripts", "release.py"), "--windows-build", BUILD,
                            "--key", os.path.join(temp, "private.pem"), "--kyrpack", os.environ["KYRPACK"],
                            "--url", "https://downloads.test/1.0.0", "--out", out, MSI, archive], check=True)
            sums = os.path.join(out, "SHA256SUMS")
            check = ["openssl", "dgst", "-sha256", "-verify", os.path.join(temp, "public.pem"),
                     "-signature", sums + ".sig", sums]
            self.assertEqual(subprocess.run(check, capture_output=True).returncode, 0)
            self.assertEqual(subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=out, capture_output=True,
                                            text=True).stdout,
                             "KyrDecrypt-1.0.0-win64.msi: OK\nKyrDecrypt-1.0.0-win64.zip: OK\n")
            with open(os.path.join(out, "kyrowan.KyrDecrypt.json")) as f:
                scoop = json.load(f)
            self.assertEqual(scoop, dict(scoop, version="1.0.0", hash=file_sha256(archive),
                                         url="https://downloads.test/1.0.0/KyrDecrypt-1.0.0-win64.zip",
                                         bin=["KyrDecrypt.exe", "KyrIdentify.exe", "KyrBundle.exe"]))
            winget = {}
            for path in glob.glob(os.path.join(out, "winget", "*.yaml")):
                with open(path) as f:
                    document = yaml.safe_load(f)
                winget[document["ManifestType"]] = document
            self.assertEqual(sorted(winget), ["defaultLocale", "installer", "version"])
            for document in winget.values():
                self.assertEqual((document["PackageIdentifier"], document["PackageVersion"],
                                  document["ManifestVersion"]), ("kyrowan.KyrDecrypt", "1.0.0", "1.6.0"))
            [installer] = winget["installer"]["Installers"]
            self.assertEqual((installer["InstallerSha256"], installer["ProductCode"]),
                             (file_sha256(MSI).upper(), product_property(MSI, "ProductCode")))
            with open(os.path.join(out, "KyrDecrypt-1.0.0-win64.zip"), "r+b") as f:
                f.write(b"x")
            self.assertNotEqual(subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=out,
                                               capture_output=True).returncode, 0)


def file_sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class MsiTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.addCleanup(self.temp.cleanup)
        self.prefix = os.path.join(self.temp.name, "wineprefix")
        self.env = dict(os.environ, KYRDECRYPT_WINEPREFIX=self.prefix, KYRDECRYPT_WINE_TIMEOUT="120")
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix),
                        capture_output=True, timeout=30)

    def wine(self, *arguments):
        return subprocess.run(["bash", os.path.join(SOURCE, "scripts", "wine-run.sh"), *arguments], env=self.env,
                              capture_output=True, timeout=150)

    def msiexec(self, action, msi):
        self.assertEqual(self.wine("msiexec", action, "Z:" + msi.replace("/", "\\"), "/qn").returncode, 0)

    def installed_products(self):
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
        return self.wine("reg", "query", key).stdout.decode("utf-8", "replace").upper()

    def test_install_upgrade_and_uninstall_keep_program_data(self):
        newer = os.path.join(self.temp.name, "KyrDecrypt-1.0.1-win64.msi")
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=1.0.1", "-D", "Publisher=KyrDecrypt",
                        "-D", "UpgradeCode=" + product_property(MSI, "UpgradeCode"), "-o", newer,
                        os.path.join(BUILD, "msi-files", "kyrdecrypt.wxs")], check=True, capture_output=True)
        self.msiexec("/i", MSI)
        folder = os.path.join(self.prefix, "drive_c", "Program Files", "KyrDecrypt")
        self.assertEqual(sorted(os.listdir(folder)), ["KyrBundle.exe", "KyrDecrypt.exe", "KyrIdentify.exe", "LICENSE", "README.md"])
        installed, built = (self.wine(exe, "-help") for exe in (os.path.join(folder, "KyrDecrypt.exe"),
                                                               os.path.join(BUILD, "KyrDecrypt.exe")))
        self.assertIn(b"Usage: KyrDecrypt <command> [arguments...]", installed.stdout)
        self.assertEqual(installed.stdout, built.stdout)
        data = os.path.join(self.prefix, "drive_c", "ProgramData", "Kyrowan", "KyrDecrypt", "decryptors", "kept")
        os.makedirs(data)

        self.msiexec("/i", newer)
        products = self.installed_products()
        self.assertNotIn(product_property(MSI, "ProductCode"), products)
        self.assertIn(product_property(newer, "ProductCode"), products)

        self.msiexec("/x", newer)
        self.assertFalse(os.path.exists(os.path.join(folder, "KyrDecrypt.exe")))
        self.assertNotIn(product_property(newer, "ProductCode"), self.installed_products())
        self.assertTrue(os.path.isdir(data))


def product_property(msi, name):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, text=True, check=True).stdout
    return dict(line.split("\t", 1) for line in table.splitlines()[3:])[name].strip()


if __name__ == "__main__":
    unittest.main()
