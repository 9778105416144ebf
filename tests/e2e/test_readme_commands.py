"""The commands the README shows victims and help desks: each one is run here, as typed,
against the test server, or named with the test that runs it or the reason none can.
A command added to that part of the README and in neither list fails the test."""

import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_packages as packages  # noqa: E402

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
PART = ("## For victims and help desks", "## For publishers")
PROGRAMS = ("kyrdecrypt", "kyridentify", "kyrbundle", "KyrDecrypt.exe", "KyrBundle.exe", "sudo", "PIP_NO_INDEX=1", "msiexec", "winget", "scoop",
            "openssl", "sha256sum", "osslsigncode", "kyrpack", "Get-AuthenticodeSignature", "Get-FileHash")
GOT = packages.BANNER + packages.GETTING + packages.SUCCEEDED
WINDOWS = "needs Windows: "
DISTRIBUTION = "tests/e2e/test_windows_distribution.py "

# Shown but not run here: who runs them instead, or why nobody can.
ACCOUNTED = {
    "kyrdecrypt -get <name> [-ver version]": "the usage lines are checked against -help below",
    "kyrdecrypt -run <name> [-ver version] [-args \"arguments in double quotes\"]": "as above",
    "kyrdecrypt -about <name> [-ver version]": "as above",
    "kyridentify [--json] PATH...": "a synopsis; tests/e2e/test_identify.py runs both forms",
    "kyrdecrypt -get NAME": "the form kyridentify prints; run above with a real name",
    "sudo kyrdecrypt ...": "a pattern, not a command",
    "kyrdecrypt ...": "a pattern, not a command",
    "sudo PIP_INDEX_URL=https://pypi.example.org/simple kyrdecrypt -get NAME": "needs a package index and sudo",
    "PIP_NO_INDEX=1 PIP_FIND_LINKS=R/wheels kyrdecrypt -get pysample":
        "tests/e2e/test_python.py (and scripts/demo.py) install a pip library with these variables",
    "KyrDecrypt.exe -list": "tests/e2e/test_windows.py WindowsClientTest (under Wine)",
    "KyrDecrypt.exe -run pysample -args \"-key KEY \\\"C:\\Users\\me\\My Documents\\\"\"":
        WINDOWS + "Command Prompt's quoting; Wine's client is started without a console shell",
    "msiexec /i KyrDecrypt-1.0.0-win64.msi /qn": DISTRIBUTION + "MsiTest (under Wine)",
    "msiexec /x KyrDecrypt-1.0.0-win64.msi /qn": DISTRIBUTION + "MsiTest (under Wine)",
    "winget install kyrowan.KyrDecrypt": WINDOWS + "winget; the manifest is checked by " + DISTRIBUTION + "ReleaseTest",
    "winget uninstall kyrowan.KyrDecrypt": WINDOWS + "winget",
    "scoop install <publisher's bucket or URL>/kyrowan.KyrDecrypt.json":
        WINDOWS + "Scoop; the manifest is checked by " + DISTRIBUTION + "ReleaseTest",
    "scoop uninstall kyrowan.KyrDecrypt": WINDOWS + "Scoop",
    "Get-AuthenticodeSignature \"C:\\Program Files\\KyrDecrypt\\KyrDecrypt.exe\"": WINDOWS + "PowerShell",
    "Get-FileHash -Algorithm SHA256 FILE": WINDOWS + "PowerShell",
    "osslsigncode verify -in FILE": DISTRIBUTION + "WindowsSigningTest",
    "openssl dgst -sha256 -verify pub.pem -signature SHA256SUMS.sig SHA256SUMS": DISTRIBUTION + "ReleaseTest",
    "sha256sum -c SHA256SUMS": DISTRIBUTION + "ReleaseTest",
    "openssl rsa -RSAPublicKey_in -in pub.pem -pubout -out pub-spki.pem": "needs a release's pub.pem; "
        "the same conversion is run for the fingerprint above",
    "KyrBundle.exe fetch --out E:\\bundle pysample":
        "tests/e2e/test_windows.py test_native_sample_travels_in_a_bundle_to_a_machine_without_network (under Wine)",
    "KyrBundle.exe install E:\\bundle pysample": "as above",
    "kyrbundle install DIR": "a pattern; tests/e2e/test_bundle.py installs a whole bundle",
    "kyrbundle list DIR": "a pattern; tests/e2e/test_bundle.py lists a bundle",
    "kyrpack hints": "the publisher's command that writes the index; tests/e2e/test_identify.py runs it",
    "kyrpack verify-file --public pub.pem SHA256SUMS": "tests/e2e/test_kyrpack.py test_sign_file_agrees_with_openssl",
}


def shown_commands():
    """The commands in the victims' part: lines of code blocks and inline code that begin with a program."""
    with open(README, encoding="utf-8") as readme:
        text = readme.read()
    part = text[text.index(PART[0]):text.index(PART[1])]
    candidates = [line.strip() for line in part.splitlines() if line.startswith("    ")]
    candidates += re.findall(r"`([^`\n]+)`", part)
    return {c for c in candidates if c.split(" ", 1)[0] in PROGRAMS and " " in c}


class ReadmeCommandsTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        decryptor, library = os.environ.get("KYR_E2E_ECHO"), os.environ.get("KYR_E2E_ECHO_UTIL")
        if not (decryptor and library):
            self.fail("KYR_E2E_ECHO and KYR_E2E_ECHO_UTIL must be set (run through ctest)")
        # The echo decryptor under the README's name: it prints the arguments it is given.
        packages.PackageCommandsTest.publish(self, "library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: library})
        packages.PackageCommandsTest.publish(self, "decryptor", "pysample", "1.0.0", *packages.echo_decryptor(decryptor))
        self.kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                     "--decryptor", "pysample", "--extension", ".kyr")
        self.start_server()
        self.home = os.path.join(self.work, "home")
        os.makedirs(os.path.join(self.home, "Documents"))
        with open(os.path.join(self.home, "Documents", "report.docx.kyr"), "wb") as locked:
            locked.write(b"locked")
        self.bin = os.path.join(self.work, "bin")
        os.makedirs(self.bin)
        for name in ("client", "identify", "bundle"):
            os.symlink(self.config[name], os.path.join(self.bin, os.path.basename(self.config[name])))

    def shell(self, command):
        """Runs the command as typed in bash, the test's programs first on PATH; (status, stdout)."""
        env = harness.child_environment(PROGRAMDATA=self.program_data, HOME=self.home,
                                        PATH=self.bin + os.pathsep + os.environ["PATH"])
        done = subprocess.run(["bash", "-c", command], cwd=self.work, env=env, capture_output=True, text=True,
                              timeout=harness.CLIENT_RUN_SECONDS)
        return done.returncode, done.stdout

    def echoed(self, *arguments):
        """What the echo decryptor prints for the arguments after its two own."""
        folder = os.path.join(self.data_folder, "decryptors", "pysample", "1.0.0", "pysample") + os.sep
        telemetry = os.path.join(self.data_folder, "data", "decr_pysample_1.0.0.json")
        lines = [f"echo: argc={2 + len(arguments)}", "echo: arg[0]=" + folder, "echo: arg[1]=" + telemetry]
        lines += [f"echo: arg[{2 + i}]={argument}" for i, argument in enumerate(arguments)]
        return packages.BANNER + packages.RUNNING + "\n".join(lines) + "\n" + packages.SUCCEEDED

    def test_every_command_shown_to_victims_is_run_or_accounted_for(self):
        shown = shown_commands()
        _, help_text = self.shell("kyrdecrypt -help")
        shutil.copy(self.config["signing_public_key"], os.path.join(self.work, "signing-public.pem"))
        spki = "openssl rsa -RSAPublicKey_in -in signing-public.pem -pubout -outform DER | sha256sum"
        fingerprint = self.shell(spki)[1].split()[0]
        # In the order a victim types them: each needs what the one before it did.
        runs = [
            ("kyridentify ~/Documents", lambda out: self.assertIn("kyrdecrypt -get pysample", out)),
            ("kyrdecrypt -list", lambda out: self.assertIn("pysample", out)),
            ("kyrdecrypt -get pysample", lambda out: self.assertEqual(out, GOT)),
            ("kyrdecrypt -about pysample",
             lambda out: self.assertEqual(out, packages.BANNER + packages.RUNNING + packages.HELP_LINE
                                          + packages.SUCCEEDED)),
            ('kyrdecrypt -run pysample -args "-key KEY $HOME/Documents"',
             lambda out: self.assertEqual(out, self.echoed("-key", "KEY", self.home + "/Documents"))),
            ("kyrdecrypt -run pysample -args '-key KEY \"/home/me/My Documents\"'",
             lambda out: self.assertEqual(out, self.echoed("-key", "KEY", "/home/me/My Documents"))),
            ("kyrbundle fetch --out bundle pysample",
             lambda out: self.assertEqual(out, "Fetched pysample 1.0.0 into bundle (2 package files).\n")),
            ("kyrbundle install bundle pysample", lambda out: self.assertEqual(
                out, "Installed pysample 1.0.0 from the bundle.\nKept the bundle's identification index for kyridentify.\n")),
            ("kyrdecrypt -help", lambda out: self.assertIn("KyrDecrypt -list", out)),
            ("kyrdecrypt -get name 2>why.txt", lambda out: self.assertEqual(
                self.read_work_file("why.txt"), "kyrdecrypt: the server answered 404 for "
                f"https://127.0.0.1:{self.port}/package/download/64/name: no decryptor of that name or version\n")),
            ("kyridentify --version", lambda out: self.assertIn(fingerprint, out)),
            ("kyrbundle --version", lambda out: self.assertIn(fingerprint, out)),
            (spki, None),  # run above: its sum is what kyridentify --version must show
        ]
        self.assertEqual(sorted(shown - set(ACCOUNTED)), sorted(command for command, _ in runs))
        self.assertEqual(sorted(set(ACCOUNTED) - shown), [], "accounted for but no longer shown")
        for command, check in runs:
            if check is None:
                continue
            with self.subTest(command):
                status, out = self.shell(command)
                self.assertEqual(status, 0, out)
                check(out)
        for usage in (c for c in shown if "<name>" in c):
            self.assertIn(usage.replace("kyrdecrypt", "KyrDecrypt", 1), help_text)

    def read_work_file(self, name):
        with open(os.path.join(self.work, name), encoding="utf-8") as file:
            return file.read()


if __name__ == "__main__":
    unittest.main()
