#include "package/package_file.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/output_file.h"
#include "platform/signature_verifier.h"
#include "platform/zip_archive_reader.h"

namespace Kyrowan {

namespace {

using namespace Kyrowan::Windows;

constexpr std::size_t kChunkSize = 16384;
// The signature check counts the payload in 32 bits; a longer payload would be
// checked only in part and unpacked whole.
constexpr std::uint64_t kMaxPayloadLength = UINT32_MAX;

std::uint64_t ReadLittleEndian(const char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
  return value;
}

// The archive goes to a fresh file of an unguessable name: a fixed one could be
// planted in advance as a link to somewhere else.
bool WritePayload(const std::wstring& packagePath, std::wstring& zipPath, const char* payload, std::uint64_t length) {
  OutputFile file;
  if (!file.CreateBeside(packagePath + L".zip", zipPath)) return false;
  for (std::uint64_t done = 0; done < length;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, length - done));
    if (!file.Write(payload + done, piece)) return false;
    done += piece;
  }
  return file.Close();
}

bool Unpack(const std::wstring& zipPath, const std::wstring& destinationFolder) {
  ZipArchiveReader reader(zipPath, destinationFolder);
  return reader.Open() && reader.ExtractAll();
}

}  // namespace

bool ReadPackageHeader(const char* file, std::int64_t fileSize, PackageFileHeader& header) {
  if (file == nullptr || fileSize < static_cast<std::int64_t>(kPackageHeaderSize)) return false;
  PackageFileHeader read;
  read.format = static_cast<std::uint8_t>(file[0]);
  read.payloadLength = ReadLittleEndian(file + 1, 8);
  read.signatureLength = static_cast<std::uint32_t>(ReadLittleEndian(file + 9, 4));
  if (read.format < 1 || read.format > 3) return false;
  // Tested before any sum, so 13 + P + S cannot overflow.
  if (read.payloadLength == 0 || read.payloadLength > kMaxPayloadLength) return false;
  if (read.signatureLength == 0 || read.signatureLength >= read.payloadLength) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  if (kPackageHeaderSize + read.payloadLength + read.signatureLength != size) return false;
  if (read.payloadLength >= size) return false;
  header = read;
  return true;
}

bool VerifyAndUnpackPackage(const std::wstring& packagePath, const std::wstring& destinationFolder) {
  MappedFile package(packagePath);
  PackageFileHeader header;
  if (!package.Open() || !ReadPackageHeader(package.data, package.fileSize, header)) return false;
  const char* payload = package.data + kPackageHeaderSize;
  const auto* signature = reinterpret_cast<const std::uint8_t*>(payload + header.payloadLength);
  // Without a verifier the element's manifest check refuses the package later.
  if (SignatureVerifier* verifier = SignatureVerifier::Instance()) {
    if (!VerifyRsaSha1(payload, static_cast<std::uint32_t>(header.payloadLength), verifier->keyBlob.data(),
                       verifier->keyBlobSize, signature, header.signatureLength))
      return false;
  }
  std::wstring zipPath;
  const bool unpacked =
      WritePayload(packagePath, zipPath, payload, header.payloadLength) && Unpack(zipPath, destinationFolder);
  if (!zipPath.empty()) RemoveFile(zipPath);
  return unpacked;
}

}  // namespace Kyrowan
