#include "package/package_file.h"

#include <vector>

#include "platform/failure_causes.h"
#include "platform/mapped_file.h"
#include "platform/signature_verifier.h"
#include "platform/zip_archive_reader.h"

namespace Kyrowan {

namespace {

using namespace Kyrowan::Windows;

// Copies `length` bytes from `offset` of the package out, for the small parts (header, signature).
bool ReadBytes(const MappedFile& package, std::int64_t offset, std::size_t length, std::vector<char>& out) {
  out.clear();
  return package.ReadWindows(offset, static_cast<std::int64_t>(length), [&out](const char* data, std::size_t size) {
    out.insert(out.end(), data, data + size);
    return true;
  });
}

}  // namespace

bool VerifyPackageFile(const MappedFile& package, PackageFileHeader& header) {
  std::vector<char> headerBytes;
  if (!ReadBytes(package, 0, kPackageHeaderSize, headerBytes) ||
      !ReadPackageHeader(headerBytes.data(), package.fileSize, header))
    return false;
  // No key, no check: the archive would be unpacked unverified, so it is refused here.
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  if (verifier == nullptr) return false;
  const auto payloadOffset = static_cast<std::int64_t>(kPackageHeaderSize);
  const auto payloadLength = static_cast<std::int64_t>(header.payloadLength);
  std::vector<char> signature;
  return ReadBytes(package, payloadOffset + payloadLength, header.signatureLength, signature) &&
         verifier->VerifyFileRegion(package, payloadOffset, payloadLength,
                                    reinterpret_cast<const std::uint8_t*>(signature.data()), header.signatureLength);
}

void RecordSignatureFailure(std::wstring_view label, std::wstring_view path) {
  std::wstring text = L"the package ";
  text.append(label).append(L" failed its signature check: ").append(path);
  RecordCause(std::move(text));
}

bool VerifyAndUnpackPackage(const std::wstring& packagePath, const std::wstring& destinationFolder,
                            std::wstring_view label) {
  // The header and the signature over the payload, checked before any of the payload is unpacked.
  MappedFile package(packagePath);
  PackageFileHeader header;
  if (!package.OpenUnmapped()) {
    RecordFileFailure(L"read", packagePath, LastOsError());
    return false;
  }
  if (!VerifyPackageFile(package, header)) {
    RecordSignatureFailure(label, packagePath);
    return false;
  }
  // The archive is read where it lies in the package file: no copy of it is made.
  ZipArchiveReader reader(packagePath, destinationFolder, static_cast<std::int64_t>(kPackageHeaderSize),
                          static_cast<std::int64_t>(header.payloadLength));
  return reader.Open() && reader.ExtractAll();
}

}  // namespace Kyrowan
