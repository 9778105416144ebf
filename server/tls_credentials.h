#pragma once

#include <string>

namespace KyrServer {

/// The server's certificate chain and private key, as PEM text.
struct TlsCredentials {
  std::string certificateChain;
  std::string privateKey;
};

/// Reads both files; false unless they hold a PEM certificate and the private key that
/// belongs to it. `problem` then says which: a file that cannot be read, one that holds
/// no certificate or no key, or a key that does not match the certificate.
bool LoadTlsCredentials(const std::string& certificateFile, const std::string& keyFile, TlsCredentials& credentials,
                        std::string& problem);

}  // namespace KyrServer
