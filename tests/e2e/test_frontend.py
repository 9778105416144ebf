"""End-to-end tests of the kyrdecrypt front end: the real binary, no server.

The binary comes from KYRDECRYPT_BIN; every run gets its own PROGRAMDATA.
"""

import os
import subprocess
import tempfile
import unittest

BANNER = "\nKyrDecrypt - get, verify and run ransomware decryption tools\n"

USAGE = "\n".join([
    "",
    "Usage: KyrDecrypt <command> [arguments...]",
    "Supported commands and their arguments are:",
    "",
    "KyrDecrypt -help",
    "Show KyrDecrypt help text.",
    "",
    "KyrDecrypt -list",
    "Show list of all decryption tools available.",
    "",
    "KyrDecrypt -get <name> [-ver version]",
    "Download latest version of decryption tool (or specific version).",
    "",
    'KyrDecrypt -run <name> [-ver version] [-args "arguments in double quotes"]',
    "Run latest downloaded decryption tool (or specific version) with given arguments (when needed)",
    'Tool must be downloaded using "-get" command before running.',
    "",
    "KyrDecrypt -about <name> [-ver version]",
    "Show help text of latest downloaded decryption tool (or specific version).",
    'Tool must be downloaded using "-get" command before running.',
    "",
    "For example:",
    "To download a ransomware decryption tool and run it:",
    "1. Get list of all available tools: KyrDecrypt -list",
    "2. Pick tool name and version from list. For example, stampado 1.0.0",
    "3. Download stampado: KyrDecrypt -get stampado -ver 1.0.0",
    "4. Get stampado help: KyrDecrypt -about stampado -ver 1.0.0",
    '5. Run stampado: KyrDecrypt -run stampado -ver 1.0.0 -args "-e restore@kyrowan.example"',
    "",
    "",
])

NOT_SUPPORTED = 'Command not supported. Try KyrDecrypt "-help" for supported commands\n'
INVALID_ARGUMENTS = 'Invalid arguments. Try KyrDecrypt "-help" for details\n'
NEW_CATALOGUE = b'{"packages":[],"version":"0.0.0"}'


class FrontEndTest(unittest.TestCase):
    def setUp(self):
        self.binary = os.environ.get("KYRDECRYPT_BIN")
        if not self.binary:
            self.fail("KYRDECRYPT_BIN must name the kyrdecrypt binary")
        folder = tempfile.TemporaryDirectory(prefix="kyr-e2e-")
        self.addCleanup(folder.cleanup)
        self.program_data = folder.name

    def run_tool(self, *arguments, error=""):
        """The exact stdout of a run whose stderr is `error` (a failure's one line, or nothing)."""
        env = dict(os.environ, PROGRAMDATA=self.program_data)
        done = subprocess.run([self.binary, *arguments], env=env, capture_output=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.decode("utf-8"), error and "kyrdecrypt: " + error + "\n")
        return done.stdout.decode("utf-8")

    def test_no_arguments_prints_banner_and_usage(self):
        self.assertEqual(self.run_tool(), BANNER + USAGE)

    def test_help_word_is_lowered_and_its_arguments_ignored(self):
        self.assertEqual(self.run_tool("-HELP"), BANNER + USAGE)
        self.assertEqual(self.run_tool("-help", "x", "y"), BANNER + USAGE)

    def test_empty_first_argument_means_no_command(self):
        self.assertEqual(self.run_tool("", "-list"), BANNER + USAGE)

    def test_unknown_command_words(self):
        self.assertEqual(self.run_tool("help", error='there is no command "help"'), BANNER + NOT_SUPPORTED)
        self.assertEqual(self.run_tool("-VER", "1.0.0", error='there is no command "-ver"'), BANNER + NOT_SUPPORTED)

    def test_options_without_values_are_invalid_arguments(self):
        self.assertEqual(self.run_tool("-get", "stampado", "-VER",
                                       error='invalid arguments for -get: "stampado" "-VER"'),
                         BANNER + INVALID_ARGUMENTS)
        self.assertEqual(self.run_tool("-about", error="invalid arguments for -about: none given"),
                         BANNER + INVALID_ARGUMENTS)

    def test_unknown_option_takes_the_next_element_along(self):
        # -x swallows -ver, so -args is left last without a value. Were -x
        # skipped alone, -ver would take "-args" as its value and the command
        # would go ahead.
        self.assertEqual(self.run_tool("-run", "stampado", "-X", "-ver", "-args", error='invalid arguments for -run: '
                                       '"stampado" "-X" "-ver" "-args"'), BANNER + INVALID_ARGUMENTS)
        self.assertEqual(self.run_tool("-list", "-x", error='invalid arguments for -list: "-x"'),
                         BANNER + INVALID_ARGUMENTS)

    def test_non_ascii_arguments_reach_the_command_intact(self):
        # A word that is not valid UTF-8 must not crash or change the outcome.
        self.assertEqual(self.run_tool("-h\u00e9lp", error='there is no command "-h\u00e9lp"'),
                         BANNER + NOT_SUPPORTED)
        env = dict(os.environ, PROGRAMDATA=self.program_data)
        done = subprocess.run([self.binary, b"-help\xff"], env=env, capture_output=True, timeout=60)
        self.assertEqual((done.returncode, done.stdout.decode()), (0, BANNER + NOT_SUPPORTED))

    def test_every_run_leaves_the_data_folder_and_catalogue(self):
        self.run_tool("-help")
        data = os.path.join(self.program_data, "Kyrowan", "KyrDecrypt", "data")
        self.assertTrue(os.path.isdir(data))
        with open(os.path.join(data, "decryptors.json"), "rb") as catalogue:
            self.assertEqual(catalogue.read(), NEW_CATALOGUE)


if __name__ == "__main__":
    unittest.main()
