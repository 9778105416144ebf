#include "package/package_file.h"

#include <algorithm>
#include <vector>

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
// planted in advance as a link to somewhere else. Copied window by window, so
// the package never counts whole toward resident memory.
bool WritePayload(const std::wstring& packagePath, std::wstring& zipPath, const MappedFile& package,
                  std::uint64_t length) {
  OutputFile file;
  if (!file.CreateBeside(packagePath + L".zip", zipPath)) return false;
  const bool copied = package.ReadWindows(
      static_cast<std::int64_t>(kPackageHeaderSize), static_cast<std::int64_t>(length),
      [&file](const char* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
          const std::size_t piece = std::min(kChunkSize, size - done);
          if (!file.Write(data + done, piece)) return false;
          done += piece;
        }
        return true;
      });
  return copied && file.Close();
}

// Copies `length` bytes from `offset` of the package out, for the small parts (header, signature).
bool ReadBytes(const MappedFile& package, std::int64_t offset, std::size_t length, std::vector<char>& out) {
  out.clear();
  return package.ReadWindows(offset, static_cast<std::int64_t>(length), [&out](const char* data, std::size_t size) {
    out.insert(out.end(), data, data + size);
    return true;
  });
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
  std::vector<char> headerBytes;
  if (!package.OpenUnmapped() || !ReadBytes(package, 0, kPackageHeaderSize, headerBytes) ||
      !ReadPackageHeader(headerBytes.data(), package.fileSize, header))
    return false;
  const auto payloadOffset = static_cast<std::int64_t>(kPackageHeaderSize);
  const auto payloadLength = static_cast<std::int64_t>(header.payloadLength);
  // Without a verifier the element's manifest check refuses the package later.
  if (SignatureVerifier* verifier = SignatureVerifier::Instance()) {
    std::vector<char> signature;
    if (!ReadBytes(package, payloadOffset + payloadLength, header.signatureLength, signature) ||
        !VerifyRsaSha1FileRegion(package, payloadOffset, payloadLength, verifier->keyBlob.data(),
                                 verifier->keyBlobSize, reinterpret_cast<const std::uint8_t*>(signature.data()),
                                 header.signatureLength))
      return false;
  }
  std::wstring zipPath;
  const bool unpacked =
      WritePayload(packagePath, zipPath, package, header.payloadLength) && Unpack(zipPath, destinationFolder);
  if (!zipPath.empty()) RemoveFile(zipPath);
  return unpacked;
}

}  // namespace Kyrowan
