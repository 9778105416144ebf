#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Signature checks against a key the caller gives: no build configuration behind them,
// so the publisher's tools use them as they are.
namespace Kyrowan::Windows {

class MappedFile;
class ProgressLine;

/// RSA PKCS#1 v1.5 with SHA-1. The stored signature is least-significant byte first.
bool VerifyRsaSha1(const void* data, std::uint32_t dataLength, const std::uint8_t* keyBlob, std::uint32_t keyBlobSize,
                   const std::uint8_t* signature, std::uint32_t signatureLength);

/// The same check over `length` bytes of a file opened with OpenUnmapped, from
/// `offset`, read through bounded windows; `progress`, when given, hears of each.
bool VerifyRsaSha1FileRegion(const MappedFile& file, std::int64_t offset, std::int64_t length,
                             const std::uint8_t* keyBlob, std::uint32_t keyBlobSize, const std::uint8_t* signature,
                             std::uint32_t signatureLength, ProgressLine* progress = nullptr);

/// Decodes PEM "RSA PUBLIC KEY" text into the key blob VerifyRsaSha1 takes.
bool DecodePemPublicKey(const char* pem, std::uint32_t pemLength, std::vector<std::uint8_t>& keyBlob,
                        std::uint32_t& keyBlobSize);

/// Checks a Base64 signature over `length` bytes of `data` against a key blob.
bool VerifyBase64Signature(const void* data, std::uint32_t length, const std::uint8_t* keyBlob,
                           std::uint32_t keyBlobSize, const std::string& base64Signature);
/// Checks a Base64 signature over the whole content of a file against a key blob.
bool VerifyFileSignatureWithKey(const std::wstring& path, const std::uint8_t* keyBlob, std::uint32_t keyBlobSize,
                                const std::string& base64Signature, ProgressLine* progress = nullptr);

/// Standard Base64 on one line; false for empty input.
bool Base64Encode(const void* data, std::uint32_t length, std::string& out);
/// Decodes standard Base64 (line breaks allowed); false for malformed text.
bool Base64Decode(const std::string& text, std::vector<std::uint8_t>& out);

}  // namespace Kyrowan::Windows
