"""The kyrpack executable end to end: keys, packing each kind, verifying, inspecting, bad input."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

KYRPACK = os.environ.get("KYRPACK", "")


def kyrpack(*args):
    return subprocess.run([KYRPACK, *args], capture_output=True, text=True, timeout=120)


class KyrpackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.root = cls.temp.name
        cls.private = os.path.join(cls.root, "private.pem")
        cls.public = os.path.join(cls.root, "public.pem")
        result = kyrpack("keygen", "--private", cls.private, "--public", cls.public)
        assert result.returncode == 0, result.stderr
        cls.folder = os.path.join(cls.root, "src")
        os.makedirs(os.path.join(cls.folder, "bin"))
        with open(os.path.join(cls.folder, "main.py"), "w") as f:
            f.write("def run(argc, argv):\n    return 0\n")
        tool = os.path.join(cls.folder, "bin", "tool")
        with open(tool, "w") as f:
            f.write("#!/bin/sh\necho tool\n")
        os.chmod(tool, 0o755)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def pack(self, kind, out, *extra):
        args = ["pack", "--key", self.private, "--folder", self.folder, "--kind", kind, "--name", "demo",
                "--version", "2.0.1", "--out", out]
        if kind != "runtime":
            args += ["--runtime-type", "python"]
        if kind == "decryptor":
            args += ["--module", "main.py", "--run", "run", "--help", "help"]
        return kyrpack(*args, *extra)

    def test_keys(self):
        self.assertEqual(stat.S_IMODE(os.stat(self.private).st_mode), 0o600)
        with open(self.public) as f:
            self.assertTrue(f.read().startswith("-----BEGIN RSA PUBLIC KEY-----\n"))

    def test_each_kind_packs_verifies_and_inspects(self):
        for kind in ("decryptor", "library", "runtime"):
            with self.subTest(kind=kind):
                out = os.path.join(self.root, kind + ".kpkg")
                result = self.pack(kind, out)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, "wrote %s\n" % out)
                result = kyrpack("verify", "--public", self.public, out)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, "verified demo 2.0.1: header, archive signature, "
                                                "manifest signature and 2 file(s)\n")
                result = kyrpack("inspect", out)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("format: 1\n", result.stdout)
                self.assertIn("signature: 512 bytes\nkind: %s\nname: demo\nversion: 2.0.1\n" % kind, result.stdout)

    def test_sign_file_agrees_with_openssl_and_a_changed_byte_fails(self):
        sums = os.path.join(self.root, "SHA256SUMS")
        with open(sums, "w") as f:
            f.write("0" * 64 + "  kyrdecrypt_1.0.0_amd64.deb\n")
        self.assertEqual(kyrpack("sign-file", "--key", self.private, sums).stdout, "wrote %s.sig\n" % sums)
        # The one command a checker runs, with the public key exactly as kyrpack keygen writes it.
        openssl = ["openssl", "dgst", "-sha256", "-verify", self.public, "-signature", sums + ".sig", sums]
        self.assertEqual(subprocess.run(openssl, capture_output=True, text=True).stdout, "Verified OK\n")
        self.assertEqual(kyrpack("verify-file", "--public", self.public, sums).stdout, "%s: signature good\n" % sums)
        made = os.path.join(self.root, "openssl.sig")
        subprocess.run(["openssl", "dgst", "-sha256", "-sign", self.private, "-out", made, sums], check=True)
        self.assertEqual(kyrpack("verify-file", "--public", self.public, "--signature", made, sums).returncode, 0)
        with open(sums, "r+b") as f:
            f.write(b"1")
        self.assertEqual(subprocess.run(openssl, capture_output=True).returncode, 1)
        result = kyrpack("verify-file", "--public", self.public, sums)
        self.assertEqual((result.returncode, result.stderr),
                         (1, "kyrpack: '%s' does not match its signature '%s.sig'\n" % (sums, sums)))

    def test_published_root_and_snapshot_verify_with_openssl_alone(self):
        import base64
        import hashlib
        import json
        tree = os.path.join(self.root, "tree")
        package = os.path.join(self.root, "trusted.kpkg")
        self.assertEqual(self.pack("decryptor", package).returncode, 0)
        keys = os.path.join(self.root, "meta")
        result = kyrpack("keygen", "--out", keys, "--bits", "2048")
        self.assertEqual(result.returncode, 0, result.stderr)
        meta_private, meta_public = keys + "-private.pem", keys + "-public.pem"
        for args in (["trust", "init", "--repo", tree, "--root-key", meta_private, "--snapshot-key", meta_public,
                      "--expires-days", "30"],
                     ["publish", "--public", self.public, "--repo", tree, "--snapshot-key", meta_private, package]):
            result = kyrpack(*args)
            self.assertEqual(result.returncode, 0, result.stderr)
        for name in ("trust/root/1.json", "trust/snapshot.json"):
            with open(os.path.join(tree, name)) as f:
                document = json.load(f)
            text = json.dumps(document["signed"], sort_keys=True, separators=(",", ":"), ensure_ascii=False)
            signed_path, sig_path = os.path.join(self.root, "signed.txt"), os.path.join(self.root, "signed.sig")
            with open(signed_path, "wb") as f:
                f.write(text.encode())
            with open(sig_path, "wb") as f:
                f.write(base64.b64decode(document["signatures"][0]["sig"]))
            check = subprocess.run(["openssl", "dgst", "-sha256", "-verify", meta_public, "-signature", sig_path,
                                    signed_path], capture_output=True, text=True)
            self.assertEqual(check.stdout, "Verified OK\n", name + check.stderr)
        der = subprocess.run(["openssl", "pkey", "-pubin", "-in", meta_public, "-outform", "DER"],
                             capture_output=True, check=True).stdout
        self.assertEqual(document["signatures"][0]["keyid"], hashlib.sha256(der).hexdigest())
        listed = document["signed"]["files"]
        served = sorted(os.path.relpath(os.path.join(d, n), tree).replace(os.sep, "/")
                        for d, _, names in os.walk(tree) for n in names)
        # Not the trust files, the hints source or the writers' lock: no client asks for them.
        self.assertEqual(sorted(listed), [p for p in served
                                          if not p.startswith("trust/") and p not in ("hints.json", ".kyrpack.lock")])
        self.assertIn("package/download/64/demo/0.0.0", listed)
        for path, entry in listed.items():
            with open(os.path.join(tree, path), "rb") as f:
                data = f.read()
            self.assertEqual((entry["length"], entry["sha256"]), (len(data), hashlib.sha256(data).hexdigest()), path)

    def test_tampered_package_fails_verify(self):
        out = os.path.join(self.root, "tampered.kpkg")
        self.assertEqual(self.pack("runtime", out).returncode, 0)
        with open(out, "r+b") as f:
            f.seek(40)
            byte = f.read(1)
            f.seek(40)
            f.write(bytes([byte[0] ^ 1]))
        result = kyrpack("verify", "--public", self.public, out)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "kyrpack: the archive signature does not match this public key\n")

    def test_bad_input_exits_non_zero_with_a_message(self):
        for args, code, message in (
            ((), 2, "kyrpack: no command given\n"),
            (("pack", "--kind", "decryptor"), 2, "kyrpack: missing --key\n"),
            (("verify", "--public", self.public, os.path.join(self.root, "none.kpkg")), 1,
             "kyrpack: cannot read '%s'\n" % os.path.join(self.root, "none.kpkg")),
        ):
            with self.subTest(args=args):
                result = kyrpack(*args)
                self.assertEqual(result.returncode, code)
                self.assertTrue(result.stderr.startswith(message), result.stderr)


if __name__ == "__main__":
    if not KYRPACK:
        sys.exit("set KYRPACK to the kyrpack executable")
    unittest.main()
