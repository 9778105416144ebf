#include "kyrpack/packer.h"

#include <map>

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <nlohmann/json.hpp>

#include "kyrpack/command_line.h"
#include "package/package_file.h"
#include "platform/signature_verifier.h"
#include "platform/zip_archive_reader.h"
#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

using Testing::ListTree;
using Testing::NoiseText;
using Testing::ReadBytes;
using Testing::ScratchFolder;
using Testing::Wide;
using Testing::WriteBytes;
namespace fs = std::filesystem;

// A file's permission bits as a Unix mode.
[[maybe_unused]] unsigned ModeOf(const fs::path& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}
void SetMode(const fs::path& path, unsigned mode) { fs::permissions(path, static_cast<fs::perms>(mode)); }

int RunKyrpack(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr) {
  std::string o, e;
  const int code = RunCommand(args, o, e);
  if (out) *out = o;
  if (err) *err = e;
  return code;
}

class PackerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys = new ScratchFolder();
    ASSERT_EQ(RunKyrpack({"keygen", "--private", Key("private.pem"), "--public", Key("public.pem")}), kExitOk);
  }
  static void TearDownTestSuite() { delete keys; }
  static std::string Key(const char* name) { return (*keys / name).string(); }

  void SetUp() override {
    WriteBytes(scratch / "src/main.py", "def run(argc, argv):\n    return 0\n" + NoiseText(300));
    WriteBytes(scratch / "src/bin/tool", "#!/bin/sh\necho tool\n");
    SetMode(scratch / "src/bin/tool", 0755);
  }
  std::string Path(const char* name) const { return (scratch / name).string(); }
  // Why verify refuses forged.kpkg; publish must refuse it for the same reason and place nothing.
  std::string RefusedByVerifyAndPublish() {
    std::string out, err, published;
    EXPECT_EQ(RunKyrpack({"verify", "--public", KYR_TEST_PUBLIC_KEY, Path("forged.kpkg")}, &out, &err), kExitFailed);
    EXPECT_EQ(RunKyrpack({"publish", "--public", KYR_TEST_PUBLIC_KEY, "--repo", Path("tree"), Path("forged.kpkg")},
                         &out, &published),
              kExitFailed);
    EXPECT_EQ(published, Path("forged.kpkg") + ": " + err);
    EXPECT_FALSE(std::filesystem::exists(scratch / "tree"));
    return err;
  }
  std::vector<std::string> PackArgs(const std::string& kind, const std::string& key) const {
    std::vector<std::string> args = {"pack", "--key", key, "--folder", Path("src"), "--kind", kind, "--name", "demo",
                                     "--version", "1.2.0", "--out", Path("demo.kpkg")};
    if (kind != "runtime") args.insert(args.end(), {"--runtime-type", "python", "--runtime-version", "3.11.4"});
    if (kind == "decryptor")
      args.insert(args.end(), {"--module", "main.py", "--run", "run", "--help", "help", "--dependency",
                               "pip:six:1.16.0", "--dependency", "lib:kyrcommon:0.0.0"});
    return args;
  }

  static ScratchFolder* keys;
  ScratchFolder scratch;
};

ScratchFolder* PackerTest::keys = nullptr;

TEST_F(PackerTest, KeygenWritesAnOwnerOnlyPrivateKeyAndAnRsaPublicKey) {
#ifndef _WIN32  // Windows has no Unix modes to check
  EXPECT_EQ(ModeOf(Key("private.pem")), 0600u);
#endif
  const std::string pem = ReadBytes(Key("public.pem"));
  EXPECT_EQ(pem.size(), 775u);
  EXPECT_EQ(pem.rfind("-----BEGIN RSA PUBLIC KEY-----\n", 0), 0u);
  std::string err;
  EXPECT_EQ(RunKyrpack({"keygen", "--private", Key("private.pem"), "--public", Path("other.pem")}, nullptr, &err),
            kExitFailed);
  EXPECT_NE(err.find("already exists"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(scratch / "other.pem"));
}

TEST_F(PackerTest, EveryKindRoundTripsThroughVerifyAndInspect) {
  for (const std::string kind : {"decryptor", "library", "runtime"}) {
    SCOPED_TRACE(kind);
    std::string out, err;
    ASSERT_EQ(RunKyrpack(PackArgs(kind, Key("private.pem")), &out, &err), kExitOk) << err;
    EXPECT_EQ(RunKyrpack({"verify", "--public", Key("public.pem"), Path("demo.kpkg")}, &out, &err), kExitOk) << err;
    EXPECT_EQ(out, "verified demo 1.2.0: header, archive signature, manifest signature and 2 file(s)\n");
    EXPECT_EQ(RunKyrpack({"verify", "--public", KYR_TEST_PUBLIC_KEY, Path("demo.kpkg")}, &out, &err), kExitFailed);
    EXPECT_EQ(err, "the archive signature does not match this public key");
    ASSERT_EQ(RunKyrpack({"inspect", Path("demo.kpkg")}, &out, &err), kExitOk) << err;
    EXPECT_NE(out.find("kind: " + kind + "\nname: demo\nversion: 1.2.0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("file: bin/tool\nfile: main.py\n"), std::string::npos) << out;
    if (kind != "runtime") {
      EXPECT_NE(out.find("runtime: python (type 1), version "), std::string::npos) << out;
    }
  }
}

TEST_F(PackerTest, PackagesUnpackAndValidateInTheClient) {
  ASSERT_EQ(RunKyrpack(PackArgs("decryptor", KYR_TEST_PRIVATE_KEY)), kExitOk);
  ASSERT_TRUE(VerifyAndUnpackPackage(Wide(scratch / "demo.kpkg"), Wide(scratch / "installed")));
  EXPECT_EQ(ListTree(scratch / "installed"),
            (std::vector<std::string>{"demo", "demo/bin", "demo/bin/tool", "demo/main.py", "demo/manifest.json"}));
  const std::string text = ReadBytes(scratch / "installed/demo/manifest.json");
  PkgInfo_s info;
  ASSERT_TRUE(ParseManifest(text.data(), text.size(), info));
  EXPECT_TRUE(IsComplete(info));
  EXPECT_EQ(info.runtime.type, 1);
  EXPECT_EQ(info.dependencies.size(), 2u);
  auto* verifier = Windows::SignatureVerifier::Instance();
  const std::string signedText = SignedText(info);
  EXPECT_TRUE(verifier->VerifyBufferSignature(signedText.data(), static_cast<std::uint32_t>(signedText.size()),
                                              info.signature));
  for (const FileEntry_s& file : info.files)
    EXPECT_TRUE(verifier->VerifyFileSignature(Wide(scratch / "installed/demo" / file.name), file.signature));
#ifndef _WIN32
  EXPECT_EQ(ModeOf(scratch / "installed/demo/bin/tool"), 0755u);
#endif
}

TEST_F(PackerTest, PipDigestsAreSignedIntoTheManifestAndVerifyWarnsWithoutThem) {
  WriteBytes(scratch / "six-1.16.0-py3-none-any.whl", "hello\n");
  WriteBytes(scratch / "six-1.16.0.tar.gz", "abc");
  std::vector<std::string> args = PackArgs("decryptor", KYR_TEST_PRIVATE_KEY);
  for (const char* file : {"six-1.16.0.tar.gz", "six-1.16.0-py3-none-any.whl", "six-1.16.0.tar.gz"})
    args.insert(args.end(), {"--pip-file", std::string("six=") + Path(file)});
  std::string out, err;
  ASSERT_EQ(RunKyrpack(args, &out, &err), kExitOk) << err;
  EXPECT_EQ(RunKyrpack({"verify", "--public", KYR_TEST_PUBLIC_KEY, Path("demo.kpkg")}, &out, &err), kExitOk);
  EXPECT_EQ(err, "");
  ASSERT_TRUE(VerifyAndUnpackPackage(Wide(scratch / "demo.kpkg"), Wide(scratch / "installed")));
  const std::string text = ReadBytes(scratch / "installed/demo/manifest.json");
  PkgInfo_s info;
  ASSERT_TRUE(ParseManifest(text.data(), text.size(), info));
  ASSERT_EQ(info.dependencies.size(), 2u);
  EXPECT_EQ(info.dependencies[0].sha256,
            (std::vector<std::string>{"5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03",
                                      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}));
  EXPECT_TRUE(info.dependencies[1].sha256.empty());
  const std::string signedText = SignedText(info);
  EXPECT_NE(signedText.find("\"sha256\":[\"5891b5b5"), std::string::npos) << signedText;
  EXPECT_TRUE(Windows::SignatureVerifier::Instance()->VerifyBufferSignature(
      signedText.data(), static_cast<std::uint32_t>(signedText.size()), info.signature));

  ASSERT_EQ(RunKyrpack(PackArgs("decryptor", KYR_TEST_PRIVATE_KEY)), kExitOk);
  EXPECT_EQ(RunKyrpack({"verify", "--public", KYR_TEST_PUBLIC_KEY, Path("demo.kpkg")}, &out, &err), kExitOk);
  EXPECT_EQ(err, "warning: the pip library six 1.16.0 has no SHA-256 digests: pip installs whatever file it finds "
                 "(pack it with --pip-file six=FILE)");
}

#ifndef _WIN32  // the modes packed are the source files' Unix modes
// The Unix mode each entry of a package file's archive records.
std::map<std::string, std::uint32_t> ArchiveModes(const std::filesystem::path& package,
                                                  const std::filesystem::path& zipPath) {
  const std::string bytes = ReadBytes(package);
  PackageFileHeader header{};
  EXPECT_TRUE(ReadPackageHeader(bytes.data(), static_cast<std::int64_t>(bytes.size()), header));
  WriteBytes(zipPath, bytes.substr(kPackageHeaderSize, header.payloadLength));
  std::map<std::string, std::uint32_t> modes;
  unzFile zip = unzOpen64(zipPath.c_str());
  for (int at = unzGoToFirstFile(zip); zip != nullptr && at == UNZ_OK; at = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    char name[256] = {};
    unzGetCurrentFileInfo64(zip, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0);
    modes[name] = static_cast<std::uint32_t>(info.external_fa >> 16);
  }
  if (zip != nullptr) unzClose(zip);
  return modes;
}

TEST_F(PackerTest, ArchiveModesAreNeverWritableByGroupOrOthers) {
  const std::pair<const char*, unsigned> files[] = {{"main.py", 0666}, {"bin/tool", 0777}, {"bin/owner", 0700},
                                                    {"bin/group", 0674}, {"bin/plain", 0600}};
  for (const auto& [name, mode] : files) {
    WriteBytes(scratch / "src" / name, "bytes");
    SetMode(scratch / "src" / name, mode);
  }
  ASSERT_EQ(RunKyrpack(PackArgs("runtime", KYR_TEST_PRIVATE_KEY)), kExitOk);
  EXPECT_EQ(ArchiveModes(scratch / "demo.kpkg", scratch / "payload.zip"),
            (std::map<std::string, std::uint32_t>{{"demo/bin/group", 0100644},
                                                  {"demo/bin/owner", 0100755},
                                                  {"demo/bin/plain", 0100644},
                                                  {"demo/bin/tool", 0100755},
                                                  {"demo/main.py", 0100644},
                                                  {"demo/manifest.json", 0100644}}));
}
#endif

TEST_F(PackerTest, VerifyRefusesFilesTheManifestDoesNotCover) {
  ASSERT_EQ(RunKyrpack(PackArgs("library", KYR_TEST_PRIVATE_KEY)), kExitOk);
  ASSERT_TRUE(VerifyAndUnpackPackage(Wide(scratch / "demo.kpkg"), Wide(scratch / "unpacked")));
  const std::string manifest = ReadBytes(scratch / "unpacked/demo/manifest.json");
  const std::string tool = ReadBytes(scratch / "unpacked/demo/bin/tool");
  const std::string main = ReadBytes(scratch / "unpacked/demo/main.py");
  const auto repack = [&](const std::vector<Testing::TestEntry>& entries) {
    WriteBytes(scratch / "forged.kpkg", Testing::MakePackage(Testing::MakeZip(scratch / "forged.zip", entries)));
    return RefusedByVerifyAndPublish();
  };
  EXPECT_EQ(repack({{"demo/manifest.json", manifest}, {"demo/bin/tool", tool}, {"demo/main.py", main + " "}}),
            "the file 'main.py' does not match its signature");
  EXPECT_EQ(repack({{"demo/manifest.json", manifest}, {"demo/bin/tool", tool}, {"demo/main.py", main},
                    {"demo/extra.py", "import os"}}),
            "the archive holds 'extra.py', which the manifest does not list");
  nlohmann::json changed = nlohmann::json::parse(manifest);
  changed["version"] = "9.9.9";
  EXPECT_EQ(repack({{"demo/manifest.json", changed.dump()}, {"demo/bin/tool", tool}, {"demo/main.py", main}}),
            "the manifest signature does not match");
  EXPECT_EQ(repack({{"other/manifest.json", manifest}, {"other/bin/tool", tool}, {"other/main.py", main}}),
            "the manifest names 'demo' but the archive folder is 'other'");
}

TEST_F(PackerTest, PackRefusesFoldersTheClientCouldNotUse) {
  std::string err;
  WriteBytes(scratch / "src/empty.txt", "");
  EXPECT_EQ(RunKyrpack(PackArgs("runtime", KYR_TEST_PRIVATE_KEY), nullptr, &err), kExitFailed);
  EXPECT_NE(err.find("'empty.txt' is empty"), std::string::npos) << err;
  std::filesystem::remove(scratch / "src/empty.txt");
#ifndef _WIN32  // Wine makes no symbolic link, and '\\' divides a Windows path
  std::filesystem::create_symlink("main.py", scratch / "src/link.py");
  EXPECT_EQ(RunKyrpack(PackArgs("runtime", KYR_TEST_PRIVATE_KEY), nullptr, &err), kExitFailed);
  EXPECT_NE(err.find("'link.py' is a symbolic link"), std::string::npos) << err;
  std::filesystem::remove(scratch / "src/link.py");
  WriteBytes(scratch / "src/odd\\name.txt", "x");
  EXPECT_EQ(RunKyrpack(PackArgs("runtime", KYR_TEST_PRIVATE_KEY), nullptr, &err), kExitFailed);
  EXPECT_NE(err.find("printable ASCII"), std::string::npos) << err;
#endif
  EXPECT_FALSE(std::filesystem::exists(scratch / "demo.kpkg"));
}

// Replaces the value after `option` (or appends both) in a pack command line.
std::vector<std::string> With(std::vector<std::string> args, const std::string& option, const std::string& value) {
  const auto at = std::find(args.begin(), args.end(), option);
  if (at == args.end()) args.insert(args.end(), {option, value});
  else *(at + 1) = value;
  return args;
}

TEST_F(PackerTest, PackRefusesDecryptorsTheClientWouldRefuse) {
  const std::vector<std::string> python = PackArgs("decryptor", KYR_TEST_PRIVATE_KEY);
  const std::vector<std::string> native = With(python, "--runtime-type", "native");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {With(python, "--name", "Demo"), "the name must be lower-case letters"},
      {With(python, "--dependency", "lib:Common:1.0"), "a plain lower-case name"},
      {With(python, "--module", "main"), "the Python module 'main' must be a file name ending in \".py\""},
      {With(python, "--module", "main.py.py"), "with no other \".py\""},
      {With(python, "--module", "absent.py"), "the module 'absent.py' is not a file at the top of the package folder"},
      {With(native, "--module", "bin/tool"), "the module 'bin/tool' is not a file at the top of the package folder"},
      {With(native, "--module", "libabsent.so"), "the module 'libabsent.so' is not a file at the top"},
      {With(python, "--run", "ru\tn"), "the module, run or help entry holds a control character"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    std::string err;
    EXPECT_NE(RunKyrpack(args, nullptr, &err), kExitOk);
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(scratch / "demo.kpkg"));
  }
  EXPECT_EQ(RunKyrpack(With(native, "--module", "main.py")), kExitOk);
}

TEST_F(PackerTest, VerifyRefusesSignedPackagesTheClientWouldRefuse) {
  const std::string main = ReadBytes(scratch / "src/main.py");
  const auto verify = [&](PkgInfo_s info) {
    std::string fileSignature;
    EXPECT_TRUE(Testing::TestSigner().SignBase64(main.data(), main.size(), fileSignature));
    info.files = {{"main.py", fileSignature}};
    const std::string signedText = SignedText(info);
    EXPECT_TRUE(Testing::TestSigner().SignBase64(signedText.data(), signedText.size(), info.signature));
    const std::string folder = info.name + "/";
    const std::string zip = Testing::MakeZip(
        scratch / "forged.zip", {{folder + "manifest.json", nlohmann::json(info).dump()}, {folder + "main.py", main}});
    WriteBytes(scratch / "forged.kpkg", Testing::MakePackage(zip));
    return RefusedByVerifyAndPublish();
  };
  const PkgInfo_s good{{1, "3.11.2"}, "demo", "1.0", "", "main.py", "run", "help", {}, {}};
  const std::string kBadVersion = "the version must be numbers joined by dots, and not 0.0.0";
  const auto changed = [&](auto change) {
    PkgInfo_s info = good;
    change(info);
    return verify(info);
  };
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.name = "Demo"; }), "the name 'Demo' is not lower case");
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.version = "1.0\n"; }), "the version holds a control character");
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.version = "0.0.0"; }), kBadVersion);
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.version = "1.0.0-beta"; }), kBadVersion);
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.name = "a..b"; }),
            "the name must be lower-case letters, digits, '.', '_' or '-', without \"..\"");
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.dependencies = {{2, "common", ".."}}; }),
            "the dependency version '..' cannot be a folder name");
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.module = "main"; }),
            "the Python module 'main' must be a file name ending in \".py\", with no other \".py\"");
  EXPECT_EQ(changed([](PkgInfo_s& i) { i.runtime = {2, "1.0"}; i.module = "main.so"; }),
            "the module 'main.so' is not a file at the top of the package folder");
}

TEST_F(PackerTest, FilesNamedManifestAreReplacedByTheSignedOne) {
  WriteBytes(scratch / "src/manifest.json", "{\"stale\": true}");
  ASSERT_EQ(RunKyrpack(PackArgs("runtime", KYR_TEST_PRIVATE_KEY)), kExitOk);
  std::string out, err;
  EXPECT_EQ(RunKyrpack({"verify", "--public", KYR_TEST_PUBLIC_KEY, Path("demo.kpkg")}, &out, &err), kExitOk) << err;
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
