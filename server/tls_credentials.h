#pragma once

#include <string>

namespace KyrServer {

/// The server's certificate chain and private key, as PEM text.
struct TlsCredentials {
  std::string certificateChain;
  std::string privateKey;
};

/// Reads both files; false unless they hold a PEM certificate and the private key that
/// belongs to it.
bool LoadTlsCredentials(const std::string& certificateFile, const std::string& keyFile, TlsCredentials& credentials);

}  // namespace KyrServer
