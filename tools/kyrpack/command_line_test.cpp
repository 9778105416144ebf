#include "kyrpack/command_line.h"

#include <gtest/gtest.h>

#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

struct BadInput {
  std::vector<std::string> args;
  int code;
  std::string message;
};

TEST(KyrpackCommandLineTest, EveryBadInputExplainsItselfAndFails) {
  Testing::ScratchFolder scratch;
  const std::string folder = (scratch / "src").string();
  Testing::WriteBytes(scratch / "src/a.py", "print(1)");
  Testing::WriteBytes(scratch / "garbage.kpkg", std::string(12, 'g'));
  const std::string key = KYR_TEST_PRIVATE_KEY;
  const std::string out = (scratch / "x.kpkg").string();
  const std::vector<std::string> pack = {"pack", "--key", key, "--folder", folder, "--out", out, "--name", "demo",
                                         "--version", "1.0"};
  const auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = pack;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const auto hints = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"hints", "--key", key, "--repo", folder, "--decryptor", "demo"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  Testing::WriteBytes(scratch / "six.txt", "not a wheel");
  const auto pipFile = [&](const std::string& given) {
    return with({"--kind", "decryptor", "--runtime-type", "python", "--module", "a.py", "--run", "run", "--help", "h",
                 "--dependency", "pip:six:1.0", "--dependency", "lib:common:1.0", "--pip-file", given});
  };
  const std::string wheel = (scratch / "six-1.0-py3-none-any.whl").string();
  const std::string tree = (scratch / "tree").string();
  const std::vector<BadInput> cases = {
      {{}, kExitUsage, "no command given"},
      {{"frobnicate"}, kExitUsage, "The following argument was not expected: frobnicate\nRun with --help"},
      {{"pakc", "--key", "k"}, kExitUsage, "\nDid you mean 'pack'?\nRun with --help"},
      {{"hint"}, kExitUsage, "not expected: hint\nDid you mean 'hints'?"},
      {{"keygen", "--private", "a.pem"}, kExitUsage, "missing --public"},
      {{"keygen", "--private"}, kExitUsage, "--private: 1 required TEXT missing"},
      {{"keygen", "--secret", "x"}, kExitUsage, "not expected: x --secret"},
      {{"publish", "--public", "k.pem", "p.kpkg"}, kExitUsage, "missing --repo"},
      {{"publish", "--public", "k.pem", "--repo", "r"}, kExitUsage, "no package file given"},
      {{"publish", "--rebuild", "r", "p.kpkg"}, kExitUsage, "--rebuild takes no --repo, --replace or package files"},
      {with({"--kind", "plugin"}), kExitUsage, "--kind must be decryptor, library or runtime"},
      {with({"--kind", "decryptor", "--runtime-type", "java"}), kExitUsage, "--runtime-type must be none"},
      {with({"--kind", "decryptor", "--runtime-type", "python"}), kExitUsage, "a decryptor needs --module"},
      {with({"--kind", "decryptor", "--runtime-type", "python", "--module", "a.py", "--run", "run", "--help", ""}),
       kExitUsage,
       "a decryptor needs --module"},
      {with({"--kind", "library"}), kExitUsage, "needs --runtime-type python or native"},
      {with({"--kind", "runtime", "--module", "m"}), kExitUsage, "only a decryptor takes --module"},
      {with({"--kind", "runtime", "--dependency", "npm:x:1"}), kExitUsage, "is not pip:NAME:VERSION"},
      {with({"--kind", "runtime", "--dependency", "pip:six:1.0"}), kExitUsage, "takes no runtime type and no dep"},
      {with({"--kind", "runtime", "--name", "again"}), kExitUsage, "--name: At Most 1 required but received 2"},
      {{"pack", "--key", key, "--folder", folder, "--out", out, "--name", "../up", "--version", "1.0", "--kind",
        "runtime"},
       kExitUsage,
       "the name must be"},
      {{"pack", "--key", key, "--folder", folder, "--out", out, "--name", "demo", "--version", "1.x", "--kind",
        "runtime"},
       kExitUsage,
       "the version must be numbers"},
      {{"pack", "--key", (scratch / "src/a.py").string(), "--folder", folder, "--out", out, "--name", "demo",
        "--version", "1.0", "--kind", "runtime"},
       kExitFailed,
       "does not hold an RSA private key"},
      {{"pack", "--key", key, "--folder", (scratch / "none").string(), "--out", out, "--name", "demo", "--version",
        "1.0", "--kind", "runtime"},
       kExitFailed,
       "is not a folder"},
      {{"verify", (scratch / "garbage.kpkg").string()}, kExitUsage, "missing --public"},
      {{"verify", "--public", KYR_TEST_PUBLIC_KEY}, kExitUsage, "package is required"},
      {{"verify", "--public", key, (scratch / "garbage.kpkg").string()}, kExitFailed, "is not a PEM"},
      {{"verify", "--public", KYR_TEST_PUBLIC_KEY, (scratch / "garbage.kpkg").string()}, kExitFailed,
       "shorter than the 13-byte header"},
      {{"inspect", (scratch / "missing.kpkg").string()}, kExitFailed, "cannot read"},
      {{"inspect"}, kExitUsage, "package is required"},
      {{"publish", "--public", KYR_TEST_PUBLIC_KEY, "--repo", tree, "--key", folder, out}, kExitFailed,
       "cannot read the private key"},
      {{"hints", "--key", key, "--repo", folder}, kExitUsage, "missing --decryptor"},
      {hints({}), kExitUsage, "give at least one --extension, --note or --marker (or --remove)"},
      {{"hints", "--key", key, "--repo", folder, "--decryptor", "../up", "--note", "x"}, kExitUsage,
       "the decryptor name must be"},
      {hints({"--extension", "locked"}), kExitUsage, "the extension 'locked' must start with '.'"},
      {hints({"--extension", "./x"}), kExitUsage, "the extension './x' must start with '.'"},
      {hints({"--note", "a/HOW.txt"}), kExitUsage, "the note 'a/HOW.txt' must be a file name"},
      {hints({"--marker", "0:abc"}), kExitUsage, "--marker '0:abc' is not OFFSET:HEX"},
      {hints({"--marker", "0:zz"}), kExitUsage, "--marker '0:zz' is not OFFSET:HEX"},
      {hints({"--marker", "4b59"}), kExitUsage, "--marker '4b59' is not OFFSET:HEX"},
      {hints({"--marker", "1x:4b"}), kExitUsage, "--marker '1x:4b' is not OFFSET:HEX"},
      {hints({"--remove", "--note", "x.txt"}), kExitUsage, "--remove takes no --family"},
      // Text that is not UTF-8 cannot go into a JSON file.
      {hints({"--family", "caf\xe9", "--note", "x"}), kExitUsage, "--family, --extension and --note must be UTF-8"},
      {hints({"--note", "\xff.txt"}), kExitUsage, "--family, --extension and --note must be UTF-8"},
      {with({"--kind", "decryptor", "--runtime-type", "python", "--module", "a.py", "--run", "\xff", "--help", "h"}),
       kExitUsage, "--module, --run and --help must be UTF-8 text"},
      {pipFile("six"), kExitUsage, "--pip-file 'six' is not NAME=PATH"},
      {pipFile("six=" + wheel), kExitUsage, "cannot read the file, or it is empty"},
      {pipFile("six=" + (scratch / "six.txt").string()), kExitUsage, "pip installs a .whl, .tar.gz or .zip file"},
      {pipFile("common=" + wheel), kExitUsage, "no --dependency pip:common:VERSION is given"},
  };
  for (const BadInput& bad : cases) {
    std::string joined;
    for (const std::string& arg : bad.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    std::string stdoutText, stderrText;
    EXPECT_EQ(RunCommand(bad.args, stdoutText, stderrText), bad.code);
    EXPECT_NE(stderrText.find(bad.message), std::string::npos) << stderrText;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(tree));
}

TEST(KyrpackCommandLineTest, HelpAndVersionPrintAndSucceed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--version"}, "kyrpack 1."},
      {{"--help"}, "Usage: kyrpack [OPTIONS] [SUBCOMMAND]"},
      {{"keygen", "--help"}, "Usage: kyrpack keygen [OPTIONS]"},
      // pack's --help also names a decryptor's help entry; without a value it asks for help.
      {{"pack", "--key", "k", "--help"}, "Usage: kyrpack pack [OPTIONS]"},
      {{"verify", "-h"}, "Usage: kyrpack verify [OPTIONS] package"},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args.back());
    std::string stdoutText, stderrText;
    EXPECT_EQ(RunCommand(args, stdoutText, stderrText), kExitOk);
    EXPECT_NE(stdoutText.find(expected), std::string::npos) << stdoutText;
    EXPECT_EQ(stderrText, "");
  }
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
