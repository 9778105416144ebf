#pragma once

// SHA-256 digests and key fingerprints, for telling which key and which bytes a build holds.

#include <cstddef>
#include <string>

namespace Kyrowan::Windows {

/// SHA-256 of `length` bytes of `data`, as 64 lower-case hex digits.
bool Sha256Hex(const void* data, std::size_t length, std::string& hex);

/// The fingerprint of a PEM "RSA PUBLIC KEY": the SHA-256 of the key's DER
/// SubjectPublicKeyInfo, as `openssl rsa -RSAPublicKey_in -pubout -outform DER | sha256sum` gives it.
bool PublicKeyFingerprint(const std::string& pem, std::string& hex);

/// Bytes as lower-case hex.
std::string ToHex(const unsigned char* bytes, std::size_t length);

}  // namespace Kyrowan::Windows
