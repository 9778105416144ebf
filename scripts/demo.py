#!/usr/bin/env python3
"""The whole story on this machine: publish the sample decryptors (native and Python); then, as a victim, identify the locked files and list, get, run the decryptor that fits.

Called by scripts/demo.sh after the build. Everything lives under --work (default
build/demo): a demo CA and server certificate for 127.0.0.1, a package-signing key
pair, a client built for exactly those, a package repository with the signed
samples, the server's telemetry database and the client's data folder (PROGRAMDATA),
so the demo never touches this machine's own KyrDecrypt data.

With --windows WINDOWS_BUILD the client is KyrDecrypt.exe under Wine (built for
localhost, the demo CA in its Wine prefix's root store) and the native sample is
published as the Windows build's DLLs; there is no Windows Python to run the
Python sample with, so that part is left out.
"""

import argparse
import base64
import filecmp
import json
import os
import shutil
import sqlite3
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402  (demo CA, signing keys, client build, server runner)

SAMPLE_KEY = "Demo-Key-2026"
ORIGINALS = os.path.join(SOURCE, "samples", "native", "files")
PYTHON_LOCKER = os.path.join(SOURCE, "samples", "python", "encrypt_demo_files.py")


def say(text):
    print(f"\n\033[1m==> {text}\033[0m", flush=True)


class Demo:
    def __init__(self, build, work, windows_build=None):
        self.build = os.path.abspath(build)
        self.work = os.path.abspath(work)
        self.windows_build = windows_build and os.path.abspath(windows_build)
        self.repository = os.path.join(self.work, "repository")
        self.database = os.path.join(self.work, "telemetry.db")
        self.program_data = os.path.join(self.work, "programdata")
        self.victim = os.path.join(self.work, "victim-files")
        self.server = None
        self.config = None

    def prepare(self):
        host = "localhost" if self.windows_build else "127.0.0.1"
        say(f"Demo configuration: CA, server certificate, signing keys, client for {host}")
        # A fresh repository, database and data folder each time; keys and TLS material are kept.
        for folder in (self.repository, self.program_data, self.victim):
            shutil.rmtree(folder, ignore_errors=True)
        if os.path.exists(self.database):
            os.remove(self.database)
        add_root_cert = self.windows_build and os.path.join(self.windows_build, "kyr-add-root-cert.exe")
        harness.setup(SOURCE, os.path.join(self.work, "config"), [], add_root_cert)
        with open(os.path.join(self.work, "config", "harness.json"), encoding="utf-8") as text:
            self.config = json.load(text)
        print(f"client: {self.config['client']} (server {host}:{self.config['port']})")

    def publish(self):
        say("Publisher: pack and sign the samples with kyrpack into the server's repository")
        scripts = {"pack-samples.sh": ["--build", self.build]}
        if self.windows_build:
            scripts["pack-samples.sh"] = ["--windows", "--build", self.windows_build,
                                          "--kyrpack", os.path.join(self.build, "kyrpack")]
        else:
            scripts["pack-python-samples.sh"] = ["--build", self.build]
        for script, options in scripts.items():
            written = subprocess.run(["bash", os.path.join(SOURCE, "samples", script), *options,
                                      "--key", self.config["signing_private_key"], "--repo", self.repository],
                                     check=True, capture_output=True, text=True).stdout
            for path in written.split("\n"):
                if path:
                    print(os.path.relpath(path, self.work))

    def start_server(self):
        say("Start kyrdecrypt-server")
        self.server = harness.ServerProcess([
            os.path.join(self.build, "kyrdecrypt-server"), "--address", "127.0.0.1",
            "--port", str(self.config["port"]), "--cert", self.config["server_cert"],
            "--key", self.config["server_key"], "--repo", self.repository, "--db", self.database])
        self.server.wait_ready()
        print(f"serving {self.repository} on https://127.0.0.1:{self.config['port']}")

    def stop_server(self):
        if self.server is not None:
            self.server.stop()
            self.server = None

    def lock_sample_files(self, folder, lock):
        say(f"The victim's files in {os.path.relpath(folder, self.work)}, locked by a sample 'ransomware'")
        shutil.copytree(ORIGINALS, folder)
        files = [self.client_path(os.path.join(folder, name)) for name in sorted(os.listdir(folder))]
        env = harness.wine_environment(self.config) if self.windows_build else None
        subprocess.run([*lock, *files], check=True, env=env)
        self.show_folder(folder)

    def client_path(self, path):
        """A path as the client knows it: under Wine, its Windows name."""
        return harness.windows_path(path) if self.windows_build else path

    @staticmethod
    def show_folder(folder):
        for name in sorted(os.listdir(folder)):
            print(f"  {name:32} {os.path.getsize(os.path.join(folder, name)):8} bytes")

    def client(self, *arguments, program="client"):
        shown = " ".join(f"'{a}'" if " " in a else a for a in arguments)
        say(f"{os.path.basename(self.config[program])} {shown}")
        # No package index is reachable: pip takes the sample's wheels from the repository.
        command, env = harness.client_process(
            self.config, self.program_data, arguments, program=program, PIP_NO_INDEX="1",
            PIP_FIND_LINKS=os.path.join(self.repository, "wheels"), PIP_DISABLE_PIP_VERSION_CHECK="1",
            PIP_ROOT_USER_ACTION="ignore", PIP_NO_CACHE_DIR="1")
        done = subprocess.run(command, env=env, timeout=harness.CLIENT_RUN_SECONDS + 30)
        if done.returncode != 0:
            raise SystemExit(f"{os.path.basename(self.config[program])} exited with {done.returncode}")

    def identify(self, folder):
        """The victim's first question: which decryptor fits these files (0: one did)."""
        self.client(self.client_path(folder), program="identify")

    def check_restored(self, folder):
        say("The victim's files after the run")
        self.show_folder(folder)
        names = sorted(os.listdir(ORIGINALS))
        match, mismatch, errors = filecmp.cmpfiles(ORIGINALS, folder, names, shallow=False)
        print(f"restored byte for byte: {len(match)} of {len(names)}")
        if mismatch or errors:
            raise SystemExit(f"not restored: {mismatch + errors}")

    def show_telemetry(self):
        say("Run reports the server stored (telemetry.db, table reports)")
        with sqlite3.connect(self.database) as database:
            for received, body in database.execute("SELECT received_utc, body FROM reports ORDER BY id"):
                print(f"  received {received}: {body}")
                custom = json.loads(body)["decryptor"]["custom"]
                if custom:
                    print(f"  the decryptor's own part, decoded: {base64.b64decode(custom).decode()}")

    def run(self):
        self.prepare()
        self.publish()
        self.start_server()
        try:
            native_victim = os.path.join(self.victim, "Native")
            if self.windows_build:
                encrypt = harness.wine_command(self.config, os.path.join(self.windows_build, "kyrsample-encrypt.exe"))
            else:
                encrypt = [os.path.join(self.build, "kyrsample-encrypt")]
            self.lock_sample_files(native_victim, [*encrypt, "-k", SAMPLE_KEY, "--remove"])
            self.identify(native_victim)
            self.client("-list")
            self.client("-get", "kyrsample")
            self.client("-list")
            self.client("-about", "kyrsample")
            self.client("-run", "kyrsample", "-args", f"-k {SAMPLE_KEY} {self.client_path(native_victim)}")
            self.check_restored(native_victim)
            if not self.windows_build:
                self.python_story()
            self.client("-list")
            self.show_telemetry()
        finally:
            say("Stop kyrdecrypt-server")
            self.stop_server()
        print("\nDemo complete.")

    def python_story(self):
        # The Python decryptor brings its interpreter, a library from the server and one from pip.
        python_victim = os.path.join(self.victim, "Python victim")
        self.lock_sample_files(python_victim, [sys.executable, PYTHON_LOCKER, SAMPLE_KEY])
        self.identify(python_victim)
        self.client("-get", "pysample")
        self.client("-about", "pysample")
        self.client("-run", "pysample", "-args", f'-v -key {SAMPLE_KEY} "{python_victim}"')
        self.check_restored(python_victim)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"),
                        help="build folder holding kyrpack, kyrdecrypt-server and the samples")
    parser.add_argument("--work", help="demo folder (default: <build>/demo, with --windows <build>/demo-windows)")
    parser.add_argument("--windows", metavar="WINDOWS_BUILD",
                        help="run KyrDecrypt.exe and the sample's DLLs of this Windows build under Wine")
    arguments = parser.parse_args()
    work = arguments.work or os.path.join(arguments.build, "demo-windows" if arguments.windows else "demo")
    Demo(arguments.build, work, arguments.windows).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
