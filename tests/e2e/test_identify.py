"""kyridentify end to end: the real program against the real server, with hints set by kyrpack hints."""

import hashlib
import json
import os
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SERVER_INDEX = "Index of known families from the server (version {}).\n"
KEPT_INDEX = "The server could not be reached; using the index kept on this machine (version {}).\n"
REFUSED_INDEX = ("The server's index failed verification and was not used; "
                 "using the copy kept on this machine (version {}).\n")
RANKED = """\
Scanned 4 files.
Candidates, best first:
1. Kyr Marker (decryptor markfam)
   marker 0:4b59524c: 1 file
   next: kyrdecrypt -get markfam
2. Kyr Noted (decryptor notefam)
   note how_to_*.txt: 1 file
   extension .kyrl: 2 files
   next: kyrdecrypt -get notefam
3. extfam (decryptor extfam)
   extension .kyrl: 2 files
   next: kyrdecrypt -get extfam
"""


def snapshot(folder):
    """Every path under `folder` with its size, modification time and content hash."""
    state = {}
    for root, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(root, name)
            info = os.lstat(path)
            digest = ""
            if os.path.isfile(path):
                with open(path, "rb") as content:
                    digest = hashlib.sha256(content.read()).hexdigest()
            state[os.path.relpath(path, folder)] = (info.st_size, info.st_mtime_ns, digest)
    return state


class IdentifyTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.victim = os.path.join(self.work, "victim")
        os.makedirs(os.path.join(self.victim, "Documents"))
        for name, content in (("Documents/report.docx.KYRL", b"x" * 100), ("Documents/photo.jpg.kyrl", b"y"),
                              ("HOW_TO_RESTORE.TXT", b"pay"), ("data.bin", b"KYRL" + b"z" * 9000)):
            with open(os.path.join(self.victim, name), "wb") as out:
                out.write(content)
        # Hints are taken only for decryptors the tree publishes.
        for name in ("extfam", "notefam", "markfam", "unseen"):
            self.add_package_file("decryptors", name, "1.0", b"not read by kyridentify")
        self.hints("extfam", "--extension", ".kyrl")
        self.hints("notefam", "--family", "Kyr Noted", "--extension", ".kyrl", "--note", "HOW_TO_*.txt")
        self.hints("markfam", "--family", "Kyr Marker", "--marker", "0:4b59524c")
        self.hints("unseen", "--extension", ".other", "--marker", "-4:00000000")

    def hints(self, decryptor, *options):
        self.kyrpack("hints", "--key", self.config["signing_private_key"], "--repo", self.repository,
                     "--decryptor", decryptor, *options)

    @property
    def index_file(self):
        return os.path.join(self.repository, "package", "identify", "0.0.0")

    @property
    def kept_file(self):
        return os.path.join(self.data_folder, "data", "identify-index.kpkg")

    def index_version(self):
        with open(self.index_file, "rb") as index:
            raw = index.read()
        return json.loads(raw[13:13 + int.from_bytes(raw[1:9], "little")])["version"]

    def identify(self, *arguments, **env):
        """Runs kyridentify; checks it changed nothing in the victim's folder."""
        before = snapshot(self.victim)
        status, out = self.run_identify(*arguments, **env)
        self.assertEqual(snapshot(self.victim), before)
        return status, out

    def test_ranks_by_marker_then_note_then_extension(self):
        self.start_server()
        version = self.index_version()
        self.assertEqual(self.identify(self.victim), (0, SERVER_INDEX.format(version) + RANKED))
        self.assertEqual(self.server.requests(1)[0].split()[:3], ["GET", "/package/identify/0.0.0", "200"])

    def test_json_document(self):
        self.start_server()
        status, out = self.identify("--json", os.path.join(self.victim, "data.bin"))
        self.assertEqual(status, 0)
        document = json.loads(out)
        self.assertEqual(document["index"], {"version": self.index_version(), "source": "server",
                                             "server_index_refused": False, "kept": True})
        self.assertEqual(document["scanned"], {"files": 1, "unreadable": 0, "not_followed": 0,
                                               "limit_reached": False})
        self.assertEqual(document["candidates"], [{
            "decryptor": "markfam", "family": "Kyr Marker", "marker_files": 1, "note_files": 0,
            "extension_files": 0, "markers": [{"marker": "0:4b59524c", "files": 1}], "notes": [],
            "extensions": [], "next": "kyrdecrypt -get markfam"}])
        self.assertEqual(document["next"], "kyrdecrypt -get markfam")

    def test_a_data_folder_that_cannot_be_written_still_uses_the_servers_index(self):
        self.start_server()
        os.makedirs(self.data_folder)
        open(os.path.join(self.data_folder, "data"), "w").close()  # the folder cannot be made, even by root
        temporary = os.path.join(self.work, "tmp")
        os.makedirs(temporary)
        self.assertEqual(self.identify(self.victim, TMPDIR=temporary),
                         (0, SERVER_INDEX.format(self.index_version()) +
                          "The index could not be kept on this machine, so it serves this run only.\n" + RANKED))
        self.assertEqual(os.listdir(temporary), [])

    def test_nothing_matched_points_to_the_list(self):
        self.start_server()
        plain = os.path.join(self.work, "plain")
        os.makedirs(plain)
        open(os.path.join(plain, "notes.txt"), "w").close()
        status, out = self.identify(plain)
        self.assertEqual((status, out.splitlines()[1:]),
                         (1, ["Scanned 1 file.", "No known family matched these files.",
                              "Next: kyrdecrypt -list (the decryptors the server offers)"]))
        status, out = self.identify("--json", plain)
        self.assertEqual((status, json.loads(out)["candidates"], json.loads(out)["next"]),
                         (1, [], "kyrdecrypt -list"))

    def test_kept_index_is_used_offline_and_when_the_servers_is_tampered(self):
        self.start_server()
        version = self.index_version()
        self.assertEqual(self.identify(self.victim)[0], 0)
        with open(self.kept_file, "rb") as kept:
            kept_bytes = kept.read()
        self.stop_server()
        self.assertEqual(self.identify(self.victim), (0, KEPT_INDEX.format(version) + RANKED))

        # A republished index with one payload byte changed: refused, and the kept copy stays.
        self.hints("extfam", "--extension", ".kyrl", "--extension", ".new")
        with open(self.index_file, "r+b") as index:
            index.seek(20)
            byte = index.read(1)
            index.seek(20)
            index.write(bytes([byte[0] ^ 0x01]))
        self.start_server()
        self.assertEqual(self.identify(self.victim), (0, REFUSED_INDEX.format(version) + RANKED))
        with open(self.kept_file, "rb") as kept:
            self.assertEqual(kept.read(), kept_bytes)

    def test_errors_exit_with_2(self):
        missing = os.path.join(self.work, "missing")
        self.assertEqual(self.identify(self.victim),
                         (2, "The server could not be reached, and no index of known families is kept on this "
                             "machine.\n"))
        self.start_server()
        self.assertEqual(self.identify(self.victim, missing),
                         (2, f"Cannot read {missing}: no such file or folder, or access denied.\n"))
        self.assertEqual(self.identify("--json", missing)[0], 2)
        self.assertEqual(json.loads(self.identify("--json", missing)[1]),
                         {"error": f"Cannot read {missing}: no such file or folder, or access denied."})
        with open(self.index_file, "r+b") as index:
            index.seek(20)
            index.write(b"\x00")
        os.remove(self.kept_file)
        self.assertEqual(self.identify(self.victim),
                         (2, "The server's index failed verification and was not used, and no verified copy is "
                             "kept on this machine.\n"))

    def run_identify_within(self, seconds, *arguments):
        """Runs kyridentify, killed after `seconds`; returns (exit status or None when it hung, stdout)."""
        command, env = harness.client_process(self.config, self.program_data, arguments, program="identify")
        try:
            done = subprocess.run(command, env=env, capture_output=True, timeout=seconds)
        except subprocess.TimeoutExpired:
            return None, ""
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def test_entries_swapped_and_cut_short_during_the_scan(self):
        if "wine" in self.config:
            self.skipTest("Wine shows Linux links as what they point to and cannot make pipes")
        self.start_server()
        outside = os.path.join(self.work, "outside.bin")
        with open(outside, "wb") as out:
            out.write(b"KYRL" + b"o" * 100)  # markfam's marker: it must never be read from here
        race = os.path.join(self.work, "race")
        os.makedirs(race)
        swapped, shrinking = os.path.join(race, "swap.bin"), os.path.join(race, "shrink.bin")
        stop = threading.Event()

        def swap():
            """Keeps replacing one entry by a file, a pipe, a link out and a link to /, and cutting another short."""
            kinds = [lambda p: open(p, "wb").close(), os.mkfifo, lambda p: os.symlink(outside, p),
                     lambda p: os.symlink("/", p)]
            turn = 0
            while not stop.is_set():
                temporary = swapped + ".new"
                kinds[turn % len(kinds)](temporary)
                os.replace(temporary, swapped)
                with open(shrinking, "wb") as out:
                    out.write(b"s" * 3 * 1024 * 1024)
                os.truncate(shrinking, turn % 2)
                turn += 1

        helper = threading.Thread(target=swap)
        helper.start()
        self.addCleanup(helper.join)
        self.addCleanup(stop.set)
        deadline = time.monotonic() + 10
        runs = 0
        while time.monotonic() < deadline:
            status, out = self.run_identify_within(10, race)
            self.assertIn(status, (0, 1), f"run {runs}: {'hung' if status is None else 'died'}: {out}")
            self.assertNotIn("markfam", out)
            scanned = int(out.splitlines()[1].split()[1])
            self.assertLessEqual(scanned, 2, out)
            runs += 1
        self.assertGreater(runs, 10)

    def test_names_that_are_not_utf8(self):
        self.start_server()
        latin = os.path.join(os.fsencode(self.work), b"verrouill\xe9")
        os.makedirs(latin)
        for name in (b"caf\xe9.kyrl", b"r\xe9sum\xe9.kyrl", "caf\ufffd.kyrl".encode()):
            open(os.path.join(latin, name), "wb").close()
        status, out = self.run_identify_within(60, latin)
        self.assertEqual((status, out.splitlines()[1:4]),
                         (0, ["Scanned 3 files.", "Candidates, best first:", "1. extfam (decryptor extfam)"]))
        self.assertIn("   extension .kyrl: 3 files", out.splitlines())
        missing = os.path.join(latin, b"gon\xe9")
        status, out = self.run_identify_within(60, missing)
        self.assertEqual((status, out), (2, f"Cannot read {self.work}/verrouill?/gon?: no such file or folder, "
                                            "or access denied.\n"))
        # In JSON each byte that is not UTF-8 stays itself, and so does a literal backslash.
        for name, shown in ((b"gon\xe9", "gon\\xe9"), (b"gon\xe8", "gon\\xe8"), (b"gon\\xe9", "gon\\x5cxe9")):
            status, out = self.run_identify_within(60, "--json", os.path.join(latin, name))
            self.assertEqual((status, json.loads(out)["error"]), (2, f"Cannot read {self.work}/verrouill\\xe9/{shown}: "
                                                                     "no such file or folder, or access denied."))

    def test_version_names_the_server_and_the_key_it_was_built_for(self):
        spki = subprocess.run(["openssl", "rsa", "-RSAPublicKey_in", "-in", self.config["signing_public_key"],
                               "-pubout", "-outform", "DER"], capture_output=True, check=True).stdout
        status, out = self.run_identify("--version")
        self.assertEqual(status, 0)
        self.assertRegex(out, r"^kyridentify \d+\.\d+\.\d+\n")
        self.assertEqual(out.split("\n")[1:], [f"server: 127.0.0.1:{self.config['port']}",
                                               f"signing key SHA-256: {hashlib.sha256(spki).hexdigest()}", ""])

    def test_help_says_the_files_are_left_alone(self):
        status, out = self.run_identify("--help")
        self.assertEqual(status, 0)
        self.assertIn("never modifies, uploads or copies\nyour files", out)
        self.assertEqual(self.run_identify("--bogus", self.victim),
                         (2, "Unknown option --bogus. Try kyridentify --help.\n"))


if __name__ == "__main__":
    unittest.main()
