#include "platform/build_identity.h"

#include "platform/build_config.h"
#include "platform/key_fingerprint.h"

namespace Kyrowan::Windows {

std::string BuildIdentityText(const std::string& program) {
  std::string fingerprint;
  if (!PublicKeyFingerprint(BuildConfig::SigningKeyPem(), fingerprint)) fingerprint = "(the built-in key cannot be read)";
  return program + " " + KYRDECRYPT_VERSION + "\n" + "server: " + BuildConfig::ServerHost() + ":" +
         std::to_string(BuildConfig::ServerPort()) + "\n" + "signing key SHA-256: " + fingerprint;
}

}  // namespace Kyrowan::Windows
