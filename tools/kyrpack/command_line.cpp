#include "kyrpack/command_line.h"

#include <map>
#include <utility>

#include "kyrpack/checker.h"
#include "kyrpack/file_signature.h"
#include "kyrpack/hints.h"
#include "kyrpack/identify_index.h"
#include "kyrpack/packer.h"
#include "kyrpack/pip_digests.h"
#include "kyrpack/publisher.h"
#include "kyrpack/signer.h"
#include "kyrpack/tree_lock.h"
#include "kyrpack/trust_files.h"
#include "protocol/server_protocol.h"
#include "publisher_cli.h"

namespace Kyrowan::Kyrpack {

namespace {

/// What pack's "--help" holds when given without a value: a request for help, unlike an empty entry name.
constexpr char kHelpWithoutValue[] = "\x01";

/// Every option of every command, as given on the command line.
struct Arguments {
  std::string privateKey, publicKey;
  std::string folder, kind, name, version, runtimeType = "none", runtimeVersion = kLatestVersion;
  std::string module, run, help, out;
  std::vector<std::string> dependencies, pipFiles;
  std::string package, signature;
  std::string repo, rebuild;
  std::vector<std::string> packages;
  bool replace = false;
  std::string decryptor, family;
  std::vector<std::string> extensions, notes, markers;
  bool remove = false;
  std::string keyPrefix;
  int bits = 4096;
  std::vector<std::string> rootKeys, oldRootKeys, snapshotKeys, packagesKeys;
  int rootThreshold = 1, snapshotThreshold = 1;
  std::string expires;
  int expiresDays = 0;
};

/// An option the command cannot do without; an empty value counts as missing.
using Needed = std::vector<std::pair<const char*, const std::string*>>;

bool Require(const Needed& needed, std::string& error) {
  for (const auto& [name, value] : needed) {
    if (value->empty()) {
      error = std::string("missing --") + name;
      return false;
    }
  }
  return true;
}

bool ParseDependency(const std::string& text, DependencyEntry_s& dependency) {
  const auto first = text.find(':');
  const auto last = text.rfind(':');
  if (first == std::string::npos || first == last) return false;
  const std::string type = text.substr(0, first);
  if (type != "pip" && type != "lib") return false;
  dependency.type = type == "pip" ? 1 : 2;
  dependency.name = text.substr(first + 1, last - first - 1);
  dependency.version = text.substr(last + 1);
  return !dependency.name.empty() && !dependency.version.empty();
}

bool ParseFacts(const Arguments& given, PackFacts& facts, std::string& error) {
  static const std::map<std::string, PackageKind> kinds = {
      {"decryptor", PackageKind::Decryptor}, {"library", PackageKind::Library}, {"runtime", PackageKind::Runtime}};
  const auto kind = kinds.find(given.kind);
  if (kind == kinds.end()) {
    error = "--kind must be decryptor, library or runtime";
    return false;
  }
  const auto runtimeType = kRuntimeTypesByName.find(given.runtimeType);
  if (runtimeType == kRuntimeTypesByName.end()) {
    error = "--runtime-type must be none, python or native";
    return false;
  }
  facts.kind = kind->second;
  facts.runtimeType = runtimeType->second;
  facts.name = given.name;
  facts.version = given.version;
  facts.runtimeVersion = given.runtimeVersion;
  facts.module = given.module;
  facts.run = given.run;
  facts.help = given.help;
  for (const std::string& text : given.dependencies) {
    DependencyEntry_s dependency;
    if (!ParseDependency(text, dependency)) {
      error = "--dependency '" + text + "' is not pip:NAME:VERSION or lib:NAME:VERSION";
      return false;
    }
    facts.dependencies.push_back(dependency);
  }
  return CheckFacts(facts, error) && RecordPipDigests(given.pipFiles, facts.dependencies, error);
}

int Keygen(const Arguments& given, std::string& out, std::string& err) {
  // --out PREFIX makes a metadata key pair: SPKI public key, named by its key id.
  const bool prefixed = !given.keyPrefix.empty();
  if (prefixed && (!given.privateKey.empty() || !given.publicKey.empty())) {
    err = "--out takes no --private or --public";
    return kExitUsage;
  }
  const std::string privatePath = prefixed ? given.keyPrefix + "-private.pem" : given.privateKey;
  const std::string publicPath = prefixed ? given.keyPrefix + "-public.pem" : given.publicKey;
  if (!prefixed && !Require({{"private", &given.privateKey}, {"public", &given.publicKey}}, err)) return kExitUsage;
  if (given.bits < kMinimumTrustKeyBits) {
    err = "--bits must be at least 2048";
    return kExitUsage;
  }
  if (!GenerateKeyPair(privatePath, publicPath, err, given.bits, prefixed)) return kExitFailed;
  out = "wrote private key " + privatePath + " and public key " + publicPath + "\n";
  if (prefixed) {
    const std::unique_ptr<Signer> signer = Signer::Load(privatePath, err);
    if (!signer) return kExitFailed;
    out += "key id " + signer->KeyId() + "\n";
  }
  return kExitOk;
}

// The expiry asked for, or `days` from now when none is given.
bool ExpiryOf(const Arguments& given, int days, std::string& expires, std::string& err) {
  if (!given.expires.empty() && given.expiresDays != 0) {
    err = "give --expires or --expires-days, not both";
    return false;
  }
  if (!given.expires.empty()) return CheckExpiry(given.expires, expires, err);
  const int wanted = given.expiresDays != 0 ? given.expiresDays : days;
  if (wanted < 1) {
    err = "--expires-days must be at least 1";
    return false;
  }
  expires = ExpiryInDays(wanted);
  return true;
}

// A role's public keys from key files: a public PEM of either kind, or a private key's public half.
bool PublicPemsOf(const std::vector<std::string>& paths, std::vector<std::string>& pems, std::string& err) {
  for (const std::string& path : paths) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
      err = "cannot read the key '" + path + "'";
      return false;
    }
    if (!SpkiPemOf(text).empty()) {
      pems.push_back(text);
      continue;
    }
    const std::unique_ptr<Signer> signer = Signer::Load(path, err);
    if (!signer) return false;
    pems.push_back(signer->SpkiPem());
  }
  return true;
}

constexpr int kRootDays = 365;
constexpr int kSnapshotDays = 7;

// The root the role options describe; the root role's keys are the signing ones.
bool RootOf(const Arguments& given, const SigningKeys& rootKeys, TrustRoot& root, std::string& err) {
  if (given.snapshotKeys.empty()) {
    err = "missing --snapshot-key";
    return false;
  }
  root.root = {rootKeys.PublicPems(), given.rootThreshold};
  root.snapshot.threshold = given.snapshotThreshold;
  return ExpiryOf(given, kRootDays, root.expires, err) &&
         PublicPemsOf(given.snapshotKeys, root.snapshot.publicPems, err) &&
         PublicPemsOf(given.packagesKeys, root.packagesPems, err);
}

int TrustRootCommand(const Arguments& given, bool rotate, std::string& out, std::string& err) {
  if (!Require({{"repo", &given.repo}}, err)) return kExitUsage;
  if (given.rootKeys.empty() || (rotate && given.oldRootKeys.empty())) {
    err = given.rootKeys.empty() ? "missing --root-key" : "missing --old-root-key";
    return kExitUsage;
  }
  SigningKeys rootKeys, oldRootKeys;
  TrustRoot root;
  if (!LoadSigningKeys(given.rootKeys, rootKeys, err) || !LoadSigningKeys(given.oldRootKeys, oldRootKeys, err) ||
      !RootOf(given, rootKeys, root, err))
    return kExitUsage;
  // Thresholds and key sizes are the request's faults, found before the tree is looked at.
  nlohmann::json checked;
  if (!BuildRootSigned(root, checked, err)) return kExitUsage;
  TreeLock lock;
  if (!lock.Take(given.repo, !rotate, err)) return kExitFailed;
  const bool done = rotate ? RotateTrust(given.repo, root, oldRootKeys, rootKeys, out, err)
                           : InitTrust(given.repo, root, rootKeys, out, err);
  return done ? kExitOk : kExitFailed;
}

// Loads the snapshot keys and the expiry; kExitOk when both are sound.
int SnapshotKeysOf(const Arguments& given, SigningKeys& keys, std::string& expires, std::string& err) {
  return LoadSigningKeys(given.snapshotKeys, keys, err) && ExpiryOf(given, kSnapshotDays, expires, err)
             ? kExitOk
             : kExitUsage;
}

int SnapshotOf(const std::string& repo, const SigningKeys& keys, const std::string& expires, std::string& out,
               std::string& err) {
  bool usage = false;
  if (SignSnapshot(repo, expires, keys, out, err, usage)) return kExitOk;
  return usage ? kExitUsage : kExitFailed;
}

int TrustSnapshotCommand(const Arguments& given, std::string& out, std::string& err) {
  if (!Require({{"repo", &given.repo}}, err)) return kExitUsage;
  if (given.snapshotKeys.empty()) {
    err = "missing --snapshot-key";
    return kExitUsage;
  }
  SigningKeys keys;
  std::string expires;
  const int code = SnapshotKeysOf(given, keys, expires, err);
  if (code != kExitOk) return code;
  // The version counts up from the kept snapshot: reading it and writing the next is one turn.
  TreeLock lock;
  return lock.Take(given.repo, false, err) ? SnapshotOf(given.repo, keys, expires, out, err) : kExitFailed;
}

int Pack(const Arguments& given, std::string& out, std::string& err) {
  PackFacts facts;
  if (!Require({{"key", &given.privateKey},
                {"folder", &given.folder},
                {"kind", &given.kind},
                {"name", &given.name},
                {"version", &given.version},
                {"out", &given.out}},
               err) ||
      !ParseFacts(given, facts, err)) {
    return kExitUsage;
  }
  const std::unique_ptr<Signer> signer = Signer::Load(given.privateKey, err);
  if (!signer || !PackFolder(facts, given.folder, *signer, given.out, err)) return kExitFailed;
  out = "wrote " + given.out + "\n";
  return kExitOk;
}

int Verify(const Arguments& given, std::string& out, std::string& err) {
  if (!Require({{"public", &given.publicKey}}, err)) return kExitUsage;
  std::string report;
  // Warnings go to standard error and leave the exit status alone.
  if (!VerifyPackage(given.package, given.publicKey, report, err, nullptr, &err)) return kExitFailed;
  out = report + "\n";
  return kExitOk;
}

int Inspect(const Arguments& given, std::string& out, std::string& err) {
  return InspectPackage(given.package, out, err) ? kExitOk : kExitFailed;
}

int Publish(const Arguments& given, std::string& out, std::string& err) {
  if (!given.rebuild.empty() && (!given.repo.empty() || !given.packages.empty() || given.replace)) {
    err = "--rebuild takes no --repo, --replace or package files";
    return kExitUsage;
  }
  if (given.rebuild.empty()) {
    if (!Require({{"public", &given.publicKey}, {"repo", &given.repo}}, err)) return kExitUsage;
    if (given.packages.empty()) {
      err = "no package file given";
      return kExitUsage;
    }
  }
  // Loaded before the tree changes: a key that cannot sign stops the whole publication.
  std::unique_ptr<Signer> signer;
  if (!given.privateKey.empty() && !(signer = Signer::Load(given.privateKey, err))) return kExitFailed;
  SigningKeys snapshotKeys;
  std::string expires;
  if (!given.snapshotKeys.empty()) {
    const int code = SnapshotKeysOf(given, snapshotKeys, expires, err);
    if (code != kExitOk) return code;
  }
  const PublishRequest request{given.repo, given.publicKey, given.packages, given.replace, signer.get()};
  VerifiedPackages verified;
  // Verified before the tree is made or waited for: a package that fails leaves no tree behind.
  if (given.rebuild.empty() && !VerifyForPublishing(request, verified, err)) return kExitFailed;
  const std::string& tree = given.rebuild.empty() ? given.repo : given.rebuild;
  TreeLock lock;
  if (!lock.Take(tree, given.rebuild.empty(), err)) return kExitFailed;
  const bool done = given.rebuild.empty() ? PlacePackages(request, verified, out, err)
                                          : RebuildTree(given.rebuild, given.publicKey, signer.get(), out, err);
  if (!done) return kExitFailed;
  // The snapshot comes last, in the same turn, so that it lists the tree the other files now make.
  if (given.snapshotKeys.empty()) return kExitOk;
  return SnapshotOf(tree, snapshotKeys, expires, out, err);
}

int Hints(const Arguments& given, std::string& out, std::string& err) {
  if (!Require({{"key", &given.privateKey}, {"repo", &given.repo}, {"decryptor", &given.decryptor}}, err))
    return kExitUsage;
  const bool evidence = !given.extensions.empty() || !given.notes.empty() || !given.markers.empty();
  if (given.remove && (evidence || !given.family.empty())) {
    err = "--remove takes no --family, --extension, --note or --marker";
    return kExitUsage;
  }
  // A family without any of them could never be recognised.
  if (!given.remove && !evidence) {
    err = "give at least one --extension, --note or --marker (or --remove)";
    return kExitUsage;
  }
  FamilyHints hints{given.decryptor, given.family.empty() ? given.decryptor : given.family, given.extensions,
                    given.notes, {}};
  for (const std::string& text : given.markers) {
    if (!ParseMarker(text, hints.markers.emplace_back(), err)) return kExitUsage;
  }
  if (!CheckHints(hints, err)) return kExitUsage;
  const std::unique_ptr<Signer> signer = Signer::Load(given.privateKey, err);
  TreeLock lock;
  return signer && lock.Take(given.repo, false, err) && SetHints(given.repo, hints, given.remove, *signer, out, err)
             ? kExitOk
             : kExitFailed;
}

// A detached signature lives beside its file unless told otherwise.
std::string SignatureFor(const Arguments& given) {
  return given.signature.empty() ? given.package + ".sig" : given.signature;
}

int SignFileCommand(const Arguments& given, std::string& out, std::string& err) {
  if (!Require({{"key", &given.privateKey}}, err)) return kExitUsage;
  if (!SignFile(given.package, given.privateKey, SignatureFor(given), err)) return kExitFailed;
  out = "wrote " + SignatureFor(given) + "\n";
  return kExitOk;
}

int VerifyFileCommand(const Arguments& given, std::string& out, std::string& err) {
  if (!Require({{"public", &given.publicKey}}, err)) return kExitUsage;
  if (!VerifyFile(given.package, given.publicKey, SignatureFor(given), err)) return kExitFailed;
  out = given.package + ": signature good\n";
  return kExitOk;
}

CLI::App* AddFileSigning(CLI::App& app, Arguments& given, bool sign) {
  CLI::App* command =
      sign ? app.add_subcommand("sign-file", "Sign any file (RSA-SHA256, as openssl dgst -sha256 -sign does)")
           : app.add_subcommand("verify-file", "Check a file's detached RSA-SHA256 signature");
  if (sign)
    command->add_option("--key", given.privateKey, "Private signing key, PEM (required)");
  else
    command->add_option("--public", given.publicKey, "Public signing key, PEM \"RSA PUBLIC KEY\" (required)");
  command->add_option("--signature", given.signature, "Signature file (default: the file's name and .sig)");
  command->add_option("file", given.package, "The file")->required();
  return command;
}

CLI::App* AddKeygen(CLI::App& app, Arguments& given) {
  CLI::App* command = app.add_subcommand("keygen", "Make an RSA-4096 signing key pair (never overwrites a key)");
  command->add_option("--private", given.privateKey, "Private key file to write, PEM, owner-only (required)");
  command->add_option("--public", given.publicKey, "Public key file to write, PEM \"RSA PUBLIC KEY\" (required)");
  command->add_option("--out", given.keyPrefix,
                      "Instead: write PREFIX-private.pem and PREFIX-public.pem (\"PUBLIC KEY\") and print the key id");
  command->add_option("--bits", given.bits, "Key size in bits, at least 2048")->capture_default_str();
  return command;
}

void AddExpiry(CLI::App* command, Arguments& given, const std::string& usual) {
  command->add_option("--expires", given.expires, "Expiry, YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC)");
  command->add_option("--expires-days", given.expiresDays, "Expiry in days from now (default " + usual + ")");
}

CLI::App* AddSnapshotKeys(CLI::App* command, Arguments& given) {
  command->add_option("--snapshot-key", given.snapshotKeys, "Private snapshot key, PEM; repeatable")
      ->allow_extra_args(false);
  return command;
}

void AddRootOptions(CLI::App* command, Arguments& given) {
  command->add_option("--repo", given.repo, "The published tree (required)");
  command->add_option("--root-key", given.rootKeys, "Private root key, PEM, that signs this root; repeatable")
      ->allow_extra_args(false);
  command->add_option("--root-threshold", given.rootThreshold, "Root signatures a root needs")->capture_default_str();
  command->add_option("--snapshot-key", given.snapshotKeys, "Snapshot key, public or private PEM; repeatable")
      ->allow_extra_args(false);
  command->add_option("--snapshot-threshold", given.snapshotThreshold, "Signatures a snapshot needs")
      ->capture_default_str();
  command->add_option("--packages-key", given.packagesKeys, "Package signing public key, PEM; repeatable")
      ->allow_extra_args(false);
  AddExpiry(command, given, std::to_string(kRootDays));
}

/// The trust command and its three subcommands, in the order init, rotate, snapshot.
std::vector<CLI::App*> AddTrust(CLI::App& app, Arguments& given) {
  CLI::App* trust = app.add_subcommand("trust", "Write the signed repository metadata of a published tree");
  trust->require_subcommand(1);
  CLI::App* init = trust->add_subcommand("init", "Write the first root (trust/root/1.json)");
  AddRootOptions(init, given);
  CLI::App* rotate = trust->add_subcommand("rotate", "Write the next root, signed by the old root keys and the new");
  AddRootOptions(rotate, given);
  rotate->add_option("--old-root-key", given.oldRootKeys, "Private root key of the newest root; repeatable")
      ->allow_extra_args(false);
  CLI::App* snapshot = trust->add_subcommand("snapshot", "Sign the snapshot of the tree as it is now");
  snapshot->add_option("--repo", given.repo, "The published tree (required)");
  AddSnapshotKeys(snapshot, given);
  AddExpiry(snapshot, given, std::to_string(kSnapshotDays));
  return {init, rotate, snapshot};
}

CLI::App* AddPack(CLI::App& app, Arguments& given) {
  CLI::App* command = app.add_subcommand("pack", "Sign every file of a folder into a package file");
  command->add_option("--key", given.privateKey, "Private signing key, PEM (required)");
  command->add_option("--folder", given.folder, "Folder whose files make the package (required)");
  command->add_option("--kind", given.kind, "decryptor, library or runtime (required)");
  command->add_option("--name", given.name, "Package name, lower case (required)");
  command->add_option("--version", given.version, "Package version, numbers and dots (required)");
  command->add_option("--runtime-type", given.runtimeType, "none, python or native")->capture_default_str();
  command->add_option("--runtime-version", given.runtimeVersion, "Runtime version the package needs")
      ->capture_default_str();
  command->add_option("--module", given.module, "A decryptor's module file at the top of the folder");
  command->add_option("--run", given.run, "A decryptor's run entry");
  // "--help NAME" names a decryptor's help entry, so plain "--help" (or -h) asks for this text.
  command->set_help_flag("-h", "Print this help message and exit");
  command->add_option("--help", given.help, "A decryptor's help entry; without a value, print this help")
      ->expected(0, 1)
      ->default_str(kHelpWithoutValue);
  command->add_option("--dependency", given.dependencies, "pip:NAME:VERSION or lib:NAME:VERSION, once per dependency")
      ->allow_extra_args(false);
  command->add_option("--pip-file", given.pipFiles,
                      "NAME=PATH: a wheel or sdist pip may install for the pip dependency NAME; repeatable")
      ->allow_extra_args(false);
  command->add_option("--out", given.out, "Package file to write (required)");
  return command;
}

CLI::App* AddVerify(CLI::App& app, Arguments& given) {
  CLI::App* command = app.add_subcommand("verify", "Check a package file the way the client does");
  command->add_option("--public", given.publicKey, "Public signing key, PEM \"RSA PUBLIC KEY\" (required)");
  command->add_option("package", given.package, "Package file")->required();
  return command;
}

CLI::App* AddInspect(CLI::App& app, Arguments& given) {
  CLI::App* command = app.add_subcommand("inspect", "Describe a package file without checking it");
  command->add_option("package", given.package, "Package file")->required();
  return command;
}

CLI::App* AddPublish(CLI::App& app, Arguments& given) {
  CLI::App* command =
      app.add_subcommand("publish", "Place verified package files into a static tree any web server can serve");
  command->add_option("--public", given.publicKey,
                      "Public signing key every package must verify against (required, but with --rebuild)");
  command->add_option("--repo", given.repo, "The tree to publish into, created when missing (required)");
  command->add_flag("--replace", given.replace, "Replace a published version whose bytes differ");
  command->add_option("--rebuild", given.rebuild,
                      "Only write the list, latest and 0.0.0 files of this tree again; with --public, "
                      "verify each latest version before copying it");
  command->add_option("--key", given.privateKey, "Private signing key: sign the identification index again");
  AddSnapshotKeys(command, given);
  AddExpiry(command, given, std::to_string(kSnapshotDays));
  command->add_option("packages", given.packages, "Package files");
  return command;
}

CLI::App* AddHints(CLI::App& app, Arguments& given) {
  CLI::App* command = app.add_subcommand(
      "hints", "Set how victims recognise one decryptor's family, and sign the identification index again");
  command->add_option("--key", given.privateKey, "Private signing key, PEM (required)");
  command->add_option("--repo", given.repo, "The published tree (required)");
  command->add_option("--decryptor", given.decryptor, "A decryptor the tree publishes (required)");
  command->add_option("--family", given.family, "The family's name as victims know it (default: the decryptor's)");
  command->add_option("--extension", given.extensions, "Extension the family appends, e.g. .locked; repeatable")
      ->allow_extra_args(false);
  command->add_option("--note", given.notes, "Ransom-note file name, * and ? as wildcards; repeatable")
      ->allow_extra_args(false);
  command->add_option("--marker", given.markers,
                      "OFFSET:HEX, bytes of every encrypted file (negative OFFSET: from the end); repeatable")
      ->allow_extra_args(false);
  command->add_flag("--remove", given.remove, "Delete the decryptor's hints instead");
  return command;
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
  CLI::App app("Makes, signs, checks and describes package files for the client.", "kyrpack");
  app.set_version_flag("--version", "kyrpack " KYRDECRYPT_VERSION);
  app.require_subcommand(0, 1);
  Arguments given;
  CLI::App* const keygen = AddKeygen(app, given);
  CLI::App* const pack = AddPack(app, given);
  CLI::App* const verify = AddVerify(app, given);
  CLI::App* const inspect = AddInspect(app, given);
  CLI::App* const publish = AddPublish(app, given);
  CLI::App* const hints = AddHints(app, given);
  CLI::App* const signFile = AddFileSigning(app, given, true);
  CLI::App* const verifyFile = AddFileSigning(app, given, false);
  const std::vector<CLI::App*> trust = AddTrust(app, given);
  int code = kExitUsage;
  if (!PublisherCli::Parse(app, args, out, err, code)) {
    const std::string nearest = args.empty() || args[0].starts_with('-') ? "" : PublisherCli::NearestSubcommand(app, args[0]);
    // Said before the closing pointer at --help.
    if (code == kExitUsage && !nearest.empty() && nearest != args[0])
      err.insert(std::min(err.size(), err.rfind('\n')), "\nDid you mean '" + nearest + "'?");
    return code;
  }
  if (given.help == kHelpWithoutValue) {
    out = pack->help("kyrpack");
    return kExitOk;
  }
  if (keygen->parsed())
    code = Keygen(given, out, err);
  else if (pack->parsed())
    code = Pack(given, out, err);
  else if (verify->parsed())
    code = Verify(given, out, err);
  else if (inspect->parsed())
    code = Inspect(given, out, err);
  else if (publish->parsed())
    code = Publish(given, out, err);
  else if (hints->parsed())
    code = Hints(given, out, err);
  else if (signFile->parsed())
    code = SignFileCommand(given, out, err);
  else if (verifyFile->parsed())
    code = VerifyFileCommand(given, out, err);
  else if (trust[0]->parsed() || trust[1]->parsed())
    code = TrustRootCommand(given, trust[1]->parsed(), out, err);
  else if (trust[2]->parsed())
    code = TrustSnapshotCommand(given, out, err);
  else
    err = "no command given";
  if (code == kExitUsage) err += "\nRun with --help for more information.";
  return code;
}

}  // namespace Kyrowan::Kyrpack
