#include "kyrpack/command_line.h"

#include <map>

#include "kyrpack/checker.h"
#include "kyrpack/packer.h"
#include "kyrpack/signer.h"

namespace Kyrowan::Kyrpack {

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  kyrpack keygen --private <file> --public <file>\n"
    "  kyrpack pack --key <private.pem> --folder <dir> --kind decryptor|library|runtime\n"
    "               --name N --version V [--runtime-type none|python|native] [--runtime-version V]\n"
    "               [--module M --run R --help H] [--dependency pip:NAME:VERSION|lib:NAME:VERSION]...\n"
    "               --out <file.kpkg>\n"
    "  kyrpack verify --public <pem> <file.kpkg>\n"
    "  kyrpack inspect <file.kpkg>\n";

/// Options as given: each "--name value" pair, plus the plain arguments in order.
struct Options {
  std::map<std::string, std::string> single;
  std::vector<std::string> dependencies;
  std::vector<std::string> plain;
};

bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known, Options& options,
                  std::string& error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      options.plain.push_back(arg);
      continue;
    }
    const std::string name = arg.substr(2);
    bool isKnown = false;
    for (const std::string& k : known) isKnown = isKnown || k == name;
    if (!isKnown) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (i + 1 >= args.size()) {
      error = "option '" + arg + "' needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (name == "dependency") {
      options.dependencies.push_back(value);
    } else if (!options.single.emplace(name, value).second) {
      error = "option '" + arg + "' is given twice";
      return false;
    }
  }
  return true;
}

bool Require(const Options& options, const std::vector<std::string>& names, std::string& error) {
  for (const std::string& name : names) {
    const auto found = options.single.find(name);
    if (found == options.single.end() || found->second.empty()) {
      error = "missing --" + name;
      return false;
    }
  }
  return true;
}

std::string Value(const Options& options, const std::string& name, const std::string& fallback = {}) {
  const auto found = options.single.find(name);
  return found == options.single.end() ? fallback : found->second;
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

bool ParseFacts(const Options& options, PackFacts& facts, std::string& error) {
  static const std::map<std::string, PackageKind> kinds = {
      {"decryptor", PackageKind::Decryptor}, {"library", PackageKind::Library}, {"runtime", PackageKind::Runtime}};
  static const std::map<std::string, int> runtimeTypes = {{"none", 0}, {"python", 1}, {"native", 2}};
  const auto kind = kinds.find(Value(options, "kind"));
  if (kind == kinds.end()) {
    error = "--kind must be decryptor, library or runtime";
    return false;
  }
  const auto runtimeType = runtimeTypes.find(Value(options, "runtime-type", "none"));
  if (runtimeType == runtimeTypes.end()) {
    error = "--runtime-type must be none, python or native";
    return false;
  }
  facts.kind = kind->second;
  facts.runtimeType = runtimeType->second;
  facts.name = Value(options, "name");
  facts.version = Value(options, "version");
  facts.runtimeVersion = Value(options, "runtime-version", "0.0.0");
  facts.module = Value(options, "module");
  facts.run = Value(options, "run");
  facts.help = Value(options, "help");
  for (const std::string& text : options.dependencies) {
    DependencyEntry_s dependency;
    if (!ParseDependency(text, dependency)) {
      error = "--dependency '" + text + "' is not pip:NAME:VERSION or lib:NAME:VERSION";
      return false;
    }
    facts.dependencies.push_back(dependency);
  }
  return CheckFacts(facts, error);
}

int Keygen(const std::vector<std::string>& args, std::string& out, std::string& err) {
  Options options;
  if (!ParseOptions(args, {"private", "public"}, options, err) || !Require(options, {"private", "public"}, err) ||
      !options.plain.empty()) {
    if (err.empty()) err = "keygen takes no plain arguments";
    return kExitUsage;
  }
  if (!GenerateKeyPair(Value(options, "private"), Value(options, "public"), err)) return kExitFailed;
  out = "wrote private key " + Value(options, "private") + " and public key " + Value(options, "public") + "\n";
  return kExitOk;
}

int Pack(const std::vector<std::string>& args, std::string& out, std::string& err) {
  Options options;
  PackFacts facts;
  const std::vector<std::string> known = {"key",          "folder",          "kind",   "name", "version",
                                          "runtime-type", "runtime-version", "module", "run",  "help",
                                          "dependency",   "out"};
  if (!ParseOptions(args, known, options, err) ||
      !Require(options, {"key", "folder", "kind", "name", "version", "out"}, err) || !ParseFacts(options, facts, err)) {
    return kExitUsage;
  }
  if (!options.plain.empty()) {
    err = "unexpected argument '" + options.plain.front() + "'";
    return kExitUsage;
  }
  const std::unique_ptr<Signer> signer = Signer::Load(Value(options, "key"), err);
  if (!signer || !PackFolder(facts, Value(options, "folder"), *signer, Value(options, "out"), err)) return kExitFailed;
  out = "wrote " + Value(options, "out") + "\n";
  return kExitOk;
}

int Verify(const std::vector<std::string>& args, std::string& out, std::string& err) {
  Options options;
  if (!ParseOptions(args, {"public"}, options, err) || !Require(options, {"public"}, err)) return kExitUsage;
  if (options.plain.size() != 1) {
    err = "verify takes exactly one package file";
    return kExitUsage;
  }
  std::string report;
  if (!VerifyPackage(options.plain.front(), Value(options, "public"), report, err)) return kExitFailed;
  out = report + "\n";
  return kExitOk;
}

int Inspect(const std::vector<std::string>& args, std::string& out, std::string& err) {
  Options options;
  if (!ParseOptions(args, {}, options, err)) return kExitUsage;
  if (options.plain.size() != 1) {
    err = "inspect takes exactly one package file";
    return kExitUsage;
  }
  return InspectPackage(options.plain.front(), out, err) ? kExitOk : kExitFailed;
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
  const std::string command = args.empty() ? std::string() : args.front();
  int result = kExitUsage;
  if (command == "keygen") result = Keygen(args, out, err);
  else if (command == "pack") result = Pack(args, out, err);
  else if (command == "verify") result = Verify(args, out, err);
  else if (command == "inspect") result = Inspect(args, out, err);
  else if (command == "help" || command == "--help" || command == "-h") {
    out = kUsage;
    return kExitOk;
  } else {
    err = command.empty() ? "no command given" : "unknown command '" + command + "'";
  }
  if (result == kExitUsage) err += "\n" + std::string(kUsage);
  return result;
}

}  // namespace Kyrowan::Kyrpack
