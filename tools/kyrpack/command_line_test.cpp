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
  const std::vector<BadInput> cases = {
      {{}, kExitUsage, "no command given"},
      {{"frobnicate"}, kExitUsage, "unknown command 'frobnicate'"},
      {{"keygen", "--private", "a.pem"}, kExitUsage, "missing --public"},
      {{"keygen", "--private"}, kExitUsage, "option '--private' needs a value"},
      {{"keygen", "--secret", "x"}, kExitUsage, "unknown option '--secret'"},
      {with({"--kind", "plugin"}), kExitUsage, "--kind must be decryptor, library or runtime"},
      {with({"--kind", "decryptor", "--runtime-type", "java"}), kExitUsage, "--runtime-type must be none"},
      {with({"--kind", "decryptor", "--runtime-type", "python"}), kExitUsage, "a decryptor needs --module"},
      {with({"--kind", "library"}), kExitUsage, "needs --runtime-type python or native"},
      {with({"--kind", "runtime", "--module", "m"}), kExitUsage, "only a decryptor takes --module"},
      {with({"--kind", "runtime", "--dependency", "npm:x:1"}), kExitUsage, "is not pip:NAME:VERSION"},
      {with({"--kind", "runtime", "--dependency", "pip:six:1.0"}), kExitUsage, "takes no runtime type and no dep"},
      {with({"--kind", "runtime", "--name", "again"}), kExitUsage, "option '--name' is given twice"},
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
      {{"verify", "--public", KYR_TEST_PUBLIC_KEY}, kExitUsage, "verify takes exactly one package file"},
      {{"verify", "--public", key, (scratch / "garbage.kpkg").string()}, kExitFailed, "is not a PEM"},
      {{"verify", "--public", KYR_TEST_PUBLIC_KEY, (scratch / "garbage.kpkg").string()}, kExitFailed,
       "shorter than the 13-byte header"},
      {{"inspect", (scratch / "missing.kpkg").string()}, kExitFailed, "cannot read"},
      {{"inspect"}, kExitUsage, "inspect takes exactly one package file"},
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
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
