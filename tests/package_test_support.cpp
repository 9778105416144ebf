#include "package/package_test_support.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace Kyrowan::Testing {

namespace fs = std::filesystem;

std::string SignWithTestKey(const std::string& bytes) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(KYR_TEST_PRIVATE_KEY, "r"), BIO_free);
  if (!bio) throw std::runtime_error("cannot read the test private key");
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr),
                                                          EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::size_t length = 0;
  if (!key || EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size()) != 1)
    throw std::runtime_error("cannot sign with the test key");
  std::vector<unsigned char> signature(length);
  if (EVP_DigestSign(context.get(), signature.data(), &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size()) != 1)
    throw std::runtime_error("cannot sign with the test key");
  signature.resize(length);
  // Stored signatures are least-significant byte first.
  std::vector<unsigned char> reversed(signature.rbegin(), signature.rend());
  std::string base64(4 * ((reversed.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), reversed.data(),
                                      static_cast<int>(reversed.size()));
  base64.resize(static_cast<std::size_t>(written));
  return base64;
}

void WriteTestFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename Info>
void WriteSignedPackage(const std::string& filesFolder, Info& info, const std::map<std::string, std::string>& files) {
  info.files.clear();
  for (const auto& [name, content] : files) {
    WriteTestFile(filesFolder + "/" + name, content);
    info.files.push_back(FileEntry_s{name, content.empty() ? "" : SignWithTestKey(content)});
  }
  info.signature = SignWithTestKey(SignedText(info));
  WriteTestFile(filesFolder + "/manifest.json", nlohmann::json(info).dump(2));
}

template void WriteSignedPackage(const std::string&, PkgInfo_s&, const std::map<std::string, std::string>&);
template void WriteSignedPackage(const std::string&, LibPkgInfo_s&, const std::map<std::string, std::string>&);
template void WriteSignedPackage(const std::string&, RuntimePkgInfo_s&, const std::map<std::string, std::string>&);

}  // namespace Kyrowan::Testing
