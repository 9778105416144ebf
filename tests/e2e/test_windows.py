"""KyrDecrypt.exe end to end under Wine: the Windows client against the Linux server.

The native sample (samples/native) is packed from the Windows build's DLLs with
kyrpack and the harness's key; the files it restores are locked by the sample's own
Windows locking tool, under Wine too. -help must print what the Linux client prints. The
sample is got and run by the KyrDecrypt.exe that the client build's MSI installed.
"""

import base64
import filecmp
import glob
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_packages import GETTING, RUNNING, SUCCEEDED  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ORIGINALS = os.path.join(SOURCE, "samples", "native", "files")
KEY = "Wine-Key-2026"
SAMPLE_HELP = ("KyrSample decryptor 1.0.0: restores files locked by the KyrSample demo cipher.\n"
               "Arguments: -k KEY PATH...\n"
               "  -k KEY   the key the files were locked with\n"
               "  PATH     a locked file (*.kyrlocked) or a folder searched for them\n")


class WindowsClientTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        if "wine" not in self.config:
            self.fail("KYR_E2E_WORK must hold a Windows client setup (harness.py setup --windows)")
        self.windows_build = os.environ["KYRSAMPLE_BUILD"]

    def test_help_is_the_linux_clients_text(self):
        linux = subprocess.run([os.environ["KYRDECRYPT_LINUX_BIN"], "-help"], capture_output=True, check=True,
                               timeout=harness.CLIENT_RUN_SECONDS).stdout.decode("utf-8")
        self.assertIn("KyrDecrypt -about", linux)
        self.assertEqual(self.run_client("-help"), linux)

    def test_identify_names_the_decryptor_of_a_locked_folder(self):
        self.add_package_file("decryptors", "kyrsample", "1.0.0", b"not read by KyrIdentify.exe")
        self.kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                     "--decryptor", "kyrsample", "--family", "KyrSample", "--extension", ".kyrlocked",
                     "--note", "README*.TXT")
        victims = os.path.join(self.work, "Locked Files")
        os.makedirs(os.path.join(victims, "sub"))
        for name in ("sub/a.txt.KYRLOCKED", "readme_restore.txt"):
            with open(os.path.join(victims, name), "wb") as out:
                out.write(b"locked")
        self.start_server()
        status, out = self.run_identify(harness.windows_path(victims))
        self.assertEqual((status, out.splitlines()[1:]),
                         (0, ["Scanned 2 files.", "Candidates, best first:", "1. KyrSample (decryptor kyrsample)",
                              "   note readme*.txt: 1 file", "   extension .kyrlocked: 1 file",
                              "   next: kyrdecrypt -get kyrsample"]))

    def install_msi(self):
        """Installs the client build's MSI into the test prefix (removed again at the end); its
        KyrDecrypt.exe is then the client the test runs."""
        build = os.path.dirname(self.config["client"])
        subprocess.run(["cmake", "--build", build, "--target", "msi"], check=True, capture_output=True)
        [msi] = glob.glob(os.path.join(build, "KyrDecrypt-*-win64.msi"))

        def msiexec(action):
            subprocess.run(harness.wine_command(self.config, "msiexec", action, harness.windows_path(msi), "/qn"),
                           env=harness.wine_environment(self.config), check=True, capture_output=True)
        msiexec("/i")
        self.addCleanup(msiexec, "/x")
        installed = os.path.join(self.config["wine"]["prefix"], "drive_c", "Program Files", "KyrDecrypt")
        self.config = dict(self.config, client=os.path.join(installed, "KyrDecrypt.exe"))

    def lock_and_restore(self, program_data):
        """Locks the sample's files with its Windows locking tool, then -run restores them byte for byte;
        returns their names."""
        victims = os.path.join(self.work, "My Files")
        shutil.copytree(ORIGINALS, victims)
        names = sorted(os.listdir(victims))
        locked = [harness.windows_path(os.path.join(victims, name)) for name in names]
        subprocess.run(harness.wine_command(self.config, os.environ["KYRSAMPLE_ENCRYPT"], "-k", KEY, "--remove",
                                            *locked),
                       env=harness.wine_environment(self.config), check=True, capture_output=True)
        self.assertEqual(sorted(os.listdir(victims)), [name + ".kyrlocked" for name in names])

        out = self.run_on(program_data, "-run", "kyrsample", "-args", f'-k {KEY} "{harness.windows_path(victims)}"')
        head, tail = harness.BANNER + RUNNING, SUCCEEDED
        self.assertTrue(out.startswith(head) and out.endswith(tail), out)
        self.assertEqual(sorted(out[len(head):-len(tail)].splitlines()),
                         [f"kyrsample: restored {path}.kyrlocked" for path in locked])
        self.assertEqual(filecmp.cmpfiles(ORIGINALS, victims, names, shallow=False), (names, [], []))
        self.assertEqual(sorted(os.listdir(victims)), names)
        return names

    def run_on(self, program_data, *arguments):
        command, env = harness.client_process(self.config, program_data, arguments)
        done = subprocess.run(command, env=env, capture_output=True, timeout=harness.CLIENT_RUN_SECONDS + 30)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.decode("utf-8")

    def pack_sample(self):
        subprocess.run(["bash", os.path.join(SOURCE, "samples", "pack-samples.sh"), "--windows",
                        "--build", self.windows_build, "--kyrpack", os.environ["KYRPACK"],
                        "--key", self.config["signing_private_key"], "--repo", self.repository],
                       check=True, capture_output=True)

    def test_native_sample_travels_in_a_bundle_to_a_machine_without_network(self):
        self.pack_sample()
        self.start_server()
        bundle = os.path.join(self.work, "USB Stick")
        status, out, err = self.run_bundle("fetch", "--out", harness.windows_path(bundle), "kyrsample")
        self.assertEqual((status, out), (0, f"Fetched kyrsample 1.0.0 into {harness.windows_path(bundle)} "
                                            "(2 package files).\n"), err)
        self.stop_server()
        machine = os.path.join(self.work, "isolated")
        os.makedirs(machine)
        status, out, err = self.run_bundle("install", harness.windows_path(bundle), program_data=machine)
        self.assertEqual((status, out), (0, "Installed kyrsample 1.0.0 from the bundle.\n"
                                            "Kept the bundle's identification index for kyridentify.\n"), err)
        self.lock_and_restore(machine)

    def test_native_sample_is_listed_got_described_run_and_reported(self):
        self.install_msi()
        self.pack_sample()
        self.start_server()
        listed = harness.BANNER + "\n" + harness.LIST_HEADER + "kyrsample\n[ 1.0.0{} ]\n\n"
        self.assertEqual(self.run_client("-list"), listed.format(""))

        self.assertEqual(self.run_client("-get", "kyrsample"), harness.BANNER + GETTING + SUCCEEDED)
        installed = os.path.join(self.data_folder, "decryptors", "kyrsample", "1.0.0", "kyrsample")
        library = os.path.join(self.data_folder, "libraries", "kyrsample_cipher", "1.0.0", "kyrsample_cipher")
        for folder, built in ((installed, "decryptor/libkyrsample_decryptor.dll"),
                              (library, "library/libkyrsample_cipher.dll")):
            built = os.path.join(self.windows_build, "samples", "native", built)
            self.assertTrue(filecmp.cmp(built, os.path.join(folder, os.path.basename(built)), shallow=False))
        self.assertEqual(self.run_client("-list"), listed.format("**"))
        self.assertEqual(self.run_client("-about", "kyrsample"), harness.BANNER + RUNNING + SAMPLE_HELP + SUCCEEDED)

        names = self.lock_and_restore(self.program_data)

        [report] = self.reports()
        decryptor = report["decryptor"]
        self.assertEqual((decryptor["name"], decryptor["version"], decryptor["totaldecrypt"], decryptor["status"]),
                         ("kyrsample", "1.0.0", len(names), 1))
        self.assertEqual(base64.b64decode(decryptor["custom"]), b'{"files":%d,"failed":0}' % len(names))
        self.assertEqual([line.split(" ")[1] for line in self.server.requests(6)],
                         ["/package/list/0.0.0", "/package/query/latestver/64/kyrsample",
                          "/package/download/64/kyrsample/1.0.0", "/library/download/64/kyrsample_cipher/1.0.0",
                          "/package/list/0.0.0", "/telemetry/upload"])


if __name__ == "__main__":
    unittest.main()
