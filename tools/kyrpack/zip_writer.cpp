#include "kyrpack/zip_writer.h"

#include <algorithm>

#include <minizip/zip.h>
#include <zlib.h>

namespace Kyrowan::Kyrpack {

namespace {

// "Made by" Unix (3) so readers take the high 16 bits of the external attributes as st_mode.
constexpr uLong kVersionMadeByUnix = (3u << 8) | 20u;
constexpr uInt kMaxChunk = 1u << 30;

}  // namespace

ZipWriter::~ZipWriter() { Close(); }

bool ZipWriter::Open(const std::string& path) {
  Close();
  zip_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  return zip_ != nullptr;
}

bool ZipWriter::AddEntry(const std::string& name, std::string_view bytes, std::uint32_t unixMode) {
  if (zip_ == nullptr || name.empty()) return false;
  zip_fileinfo info{};
  info.tmz_date = {0, 0, 0, 1, 0, 1980};
  info.external_fa = static_cast<uLong>(unixMode) << 16;
  const bool zip64 = bytes.size() >= 0xFFFFFFFFu;
  if (zipOpenNewFileInZip4_64(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                              kVersionMadeByUnix, 0, zip64 ? 1 : 0) != ZIP_OK)
    return false;
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const uInt piece = static_cast<uInt>(std::min<std::size_t>(kMaxChunk, bytes.size() - done));
    written = zipWriteInFileInZip(zip_, bytes.data() + done, piece) == ZIP_OK;
    done += piece;
  }
  return zipCloseFileInZip(zip_) == ZIP_OK && written;
}

bool ZipWriter::Close() {
  if (zip_ == nullptr) return true;
  const int result = zipClose(zip_, nullptr);
  zip_ = nullptr;
  return result == ZIP_OK;
}

}  // namespace Kyrowan::Kyrpack
