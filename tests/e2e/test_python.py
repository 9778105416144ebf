"""Python decryptors end to end: the sample "pysample" with its runtime package,
its library package and its pip library, through the real client and server.

The packages are built once for the file (samples/pack-python-samples.sh); pip
gets its wheels from a local folder through PIP_NO_INDEX and PIP_FIND_LINKS,
which the client's interpreter inherits.
"""

import base64
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import BANNER, CLIENT_RUN_SECONDS, OPERATION_FAILED, E2ETestCase, client_process, load_config

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLES = os.path.join(SOURCE, "samples", "python")
sys.path.insert(0, SAMPLES)
import make_wheels  # noqa: E402  (the sample's own wheel writer)
SUCCEEDED = "Selected operation completed successfully\n"
RUN_FAILED = "An error occurred while running package\n"
OPERATION_ERROR = "An error occured in selected operation\n"
SCRIPTS = "KyrDecrypt_Script*"


class PythonDecryptorTest(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        config = load_config()
        cls.published = tempfile.mkdtemp(prefix="kyr-e2e-python-")
        cls.wheels = os.path.join(cls.published, "wheels")
        done = subprocess.run(
            [os.path.join(SOURCE, "samples", "pack-python-samples.sh"), "--key", config["signing_private_key"],
             "--repo", os.path.join(cls.published, "repository"), "--wheels", cls.wheels,
             "--kyrpack", os.environ["KYRPACK"]],
            capture_output=True, text=True, timeout=600)
        if done.returncode != 0:
            raise AssertionError("publishing the sample failed: " + done.stderr)
        # The runtime's version is the interpreter's: "wrote runtime/download/64/python/<version>"
        [runtime] = [line for line in done.stdout.splitlines()
                     if line.startswith("wrote runtime/download/64/python/") and not line.endswith("/0.0.0")]
        cls.runtime_version = os.path.basename(runtime)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.published, ignore_errors=True)

    def setUp(self):
        super().setUp()
        shutil.copytree(os.path.join(self.published, "repository"), self.repository, dirs_exist_ok=True)
        # No package index is reachable: pip takes the sample's wheels from a folder.
        for name, value in (("PIP_NO_INDEX", "1"), ("PIP_FIND_LINKS", self.wheels), ("PIP_NO_CACHE_DIR", "1"),
                            ("PIP_ROOT_USER_ACTION", "ignore"), ("PIP_DISABLE_PIP_VERSION_CHECK", "1")):
            self.addCleanup(self._restore_env, name, os.environ.get(name))
            os.environ[name] = value
        self.start_server()

    @staticmethod
    def _restore_env(name, value):
        if value is None:
            os.environ.pop(name, None)
        else:
            os.environ[name] = value

    # ------------------------------------------------------------------ helpers

    @property
    def runtime_folder(self):
        return os.path.join(self.data_folder, "runtimes", "python", self.runtime_version, "python")

    def interpreter(self, *arguments):
        """Runs the installed runtime's interpreter; returns its stdout."""
        done = subprocess.run([os.path.join(self.runtime_folder, "python"), *arguments],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def installed_pad(self):
        return self.interpreter("-c", "import kyrpad; print(kyrpad.__version__, kyrpad.__file__)").split()

    def assert_no_script_left(self):
        self.assertEqual(glob.glob(os.path.join(self.data_folder, "**", SCRIPTS), recursive=True), [])

    def get_sample(self):
        out = self.run_client("-get", "pysample")
        self.assertTrue(out.endswith(SUCCEEDED), out)
        return out

    def encrypted_folder(self, key, count):
        """A folder (with a space in its name) of `count` files the sample ransomware encrypted."""
        folder = os.path.join(self.work, "my files")
        os.makedirs(folder)
        originals = {}
        for i in range(count):
            path = os.path.join(folder, "doc%d.txt" % i)
            originals[path] = ("document %d " % i * (i + 3)).encode()
            with open(path, "wb") as out:
                out.write(originals[path])
        subprocess.run([sys.executable, os.path.join(SAMPLES, "encrypt_demo_files.py"), key, *originals],
                       check=True, stdout=subprocess.DEVNULL)
        return folder, originals

    # ------------------------------------------------------------------ tests

    def test_get_installs_the_runtime_the_library_and_the_pip_library(self):
        out = self.get_sample()
        self.assertIn("Successfully installed kyrsample-pad-2.0", out)
        self.assertTrue(out.startswith(BANNER), out)
        requests = [line.rsplit(" ", 1)[0] for line in self.server.requests()]
        self.assertIn("GET /runtime/download/64/python/%s 200" % self.runtime_version, requests)
        self.assertIn("GET /library/download/64/kyrxor/1.0.0 200", requests)
        self.assertTrue(os.path.isfile(os.path.join(self.data_folder, "libraries", "kyrxor", "1.0.0", "kyrxor",
                                                    "__init__.py")))
        version, location = self.installed_pad()
        self.assertEqual(version, "2.0")
        # pip installed into the runtime's own folders, not the machine's Python,
        # whose folders the runtime never searches, whatever PYTHONPATH says.
        self.assertTrue(location.startswith(self.runtime_folder + os.sep), location)
        self.addCleanup(self._restore_env, "PYTHONPATH", os.environ.get("PYTHONPATH"))
        os.environ["PYTHONPATH"] = "/usr/lib/python3/dist-packages"
        search_path = self.interpreter("-c", "import sys; print('\\n'.join(sys.path))").splitlines()
        self.assertNotEqual(search_path, [])
        for folder in search_path:
            self.assertTrue(folder.startswith(self.runtime_folder + os.sep), folder)
        self.assert_no_script_left()

        # A second -get finds everything in place: pip is not asked again.
        again = self.get_sample()
        self.assertNotIn("Successfully installed", again)
        self.assert_no_script_left()

    def test_a_lower_pip_library_version_is_replaced_by_the_pinned_one(self):
        self.get_sample()
        self.interpreter("-m", "pip", "install", "--force-reinstall", "kyrsample-pad==1.0")
        self.assertEqual(self.installed_pad()[0], "1.0")
        out = self.get_sample()
        self.assertIn("Successfully uninstalled kyrsample-pad-1.0", out)
        self.assertIn("Successfully installed kyrsample-pad-2.0", out)
        self.assertEqual(self.installed_pad()[0], "2.0")
        self.assert_no_script_left()

    def test_a_wheel_other_than_the_packed_one_is_refused(self):
        # A sound wheel of the same name and version with other bytes, as a poisoned index would serve it.
        forged = os.path.join(self.work, "forged")
        os.makedirs(forged)
        make_wheels.write_wheel(forged, "2.0", make_wheels.MODULE + "# forged\n")
        os.environ["PIP_FIND_LINKS"] = forged
        command, env = client_process(self.config, self.program_data, ("-get", "pysample"))
        done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=CLIENT_RUN_SECONDS)
        self.assertTrue(done.stdout.endswith(OPERATION_ERROR + OPERATION_FAILED), done.stdout)
        self.assertIn("THESE PACKAGES DO NOT MATCH THE HASHES", done.stderr)
        self.assertEqual(glob.glob(os.path.join(self.runtime_folder, "**", "kyrpad*"), recursive=True), [])
        # Nothing recorded, and what -get unpacked is gone: the decryptor is not there to run.
        self.assertFalse(os.path.exists(os.path.join(self.data_folder, "decryptors", "pysample")))
        self.assertTrue(self.run_client("-run", "pysample").endswith("Package not found on this system\n"
                                                                     + OPERATION_FAILED))
        self.assert_no_script_left()
        os.environ["PIP_FIND_LINKS"] = self.wheels
        self.get_sample()
        self.assertEqual(self.installed_pad()[0], "2.0")

    def test_run_passes_the_arguments_and_reports_the_modules_status(self):
        self.get_sample()
        key = 'se"c\\ret'
        folder, originals = self.encrypted_folder(key, 3)
        # The quoted folder arrives as one argument, the lone quote and the backslash intact.
        arguments = '-v "%s" -key %s' % (folder, key)
        out = self.run_client("-run", "pysample", "-args", arguments)
        expected_arguments = "Arguments: " + json.dumps(["-v", folder, "-key", key]) + "\n"
        self.assertIn(expected_arguments, out)
        restored = "".join("Restored %s\n" % path for path in sorted(originals))
        self.assertIn(expected_arguments + restored + "3 file(s) restored\n" + SUCCEEDED, out)
        for path, content in originals.items():
            with open(path, "rb") as result:
                self.assertEqual(result.read(), content)
        report = self.reports()[-1]["decryptor"]
        self.assertEqual((report["name"], report["version"], report["totaldecrypt"], report["status"]),
                         ("pysample", "1.0.0", 3, 1))
        self.assertEqual(json.loads(base64.b64decode(report["custom"])), {"restored": 3, "padVersion": "2.0"})
        self.assert_no_script_left()

    def test_a_bundle_carries_the_runtime_and_the_pip_library_to_a_machine_without_network(self):
        bundle = os.path.join(self.work, "bundle")
        status, out, err = self.run_bundle("fetch", "--out", bundle, "pysample")
        # pip tells what it downloads, as it tells what it installs for -get.
        self.assertEqual(status, 0, err)
        self.assertTrue(out.endswith(f"Fetched pysample 1.0.0 into {bundle} (3 package files).\n"), out)
        self.assertEqual([name.split("-")[0] for name in os.listdir(os.path.join(bundle, "wheels"))], ["kyrsample_pad"])
        self.stop_server()
        # Nothing but the bundle's wheels to install from.
        for name in ("PIP_NO_INDEX", "PIP_FIND_LINKS"):
            os.environ.pop(name)
        machine = os.path.join(self.work, "isolated")
        os.makedirs(machine)
        status, out, err = self.run_bundle("install", bundle, program_data=machine)
        self.assertEqual(status, 0, err)
        self.assertIn("Successfully installed kyrsample-pad-2.0", out)
        self.assertTrue(out.endswith("Installed pysample 1.0.0 from the bundle.\n"
                                     "Kept the bundle's identification index for kyridentify.\n"), out)
        self.program_data = machine
        key = "k3y"
        folder, originals = self.encrypted_folder(key, 2)
        out = self.run_client("-run", "pysample", "-args", '-v "%s" -key %s' % (folder, key))
        self.assertIn("2 file(s) restored\n" + SUCCEEDED, out)
        for path, content in originals.items():
            with open(path, "rb") as result:
                self.assertEqual(result.read(), content)

    def test_a_raising_module_fails_the_run_after_its_message(self):
        self.get_sample()
        out = self.run_client("-run", "pysample", "-args", "/no/such\\place")
        self.assertIn("no such file or folder: /no/such\\place\n" + RUN_FAILED, out)
        report = self.reports()[-1]["decryptor"]
        self.assertEqual((report["totaldecrypt"], report["status"]), (-1, 0))
        self.assert_no_script_left()

    def test_about_calls_the_help_function(self):
        self.get_sample()
        out = self.run_client("-about", "pysample")
        self.assertIn("KyrSample Python decryptor\nRestores files encrypted by the KyrSample ransomware", out)
        self.assertTrue(out.endswith(SUCCEEDED), out)
        self.assertEqual(self.reports(), [])
        self.assert_no_script_left()


if __name__ == "__main__":
    unittest.main()
