#include "platform/zip_span_io.h"

namespace Kyrowan::Windows {

namespace {

ZipSpanIo& Span(voidpf opaque) { return *static_cast<ZipSpanIo*>(opaque); }

long PlatformSeek(ZipSpanIo& span, std::uint64_t where, int origin) {
  return span.platform.zseek64_file(span.platform.opaque, span.stream, where, origin);
}

// Settles an open-ended span on the file's size; false unless the span lies within the file.
bool FitSpanToFile(ZipSpanIo& span) {
  if (PlatformSeek(span, 0, ZLIB_FILEFUNC_SEEK_END) != 0) return false;
  const std::uint64_t size = span.platform.ztell64_file(span.platform.opaque, span.stream);
  if (size == static_cast<ZPOS64_T>(-1) || span.offset > size) return false;
  if (span.length < 0) span.length = static_cast<std::int64_t>(size - span.offset);
  span.streamAt = size;
  return static_cast<std::uint64_t>(span.length) <= size - span.offset;
}

voidpf ZCALLBACK OpenSpan(voidpf opaque, const void* filename, int mode) {
  ZipSpanIo& span = Span(opaque);
  // One open archive per span: its position is the span's.
  if (span.stream != nullptr || (mode & ZLIB_FILEFUNC_MODE_WRITE) != 0) return nullptr;
  span.stream = span.platform.zopen64_file(span.platform.opaque, filename, mode);
  if (span.stream == nullptr) return nullptr;
  if (!FitSpanToFile(span)) {
    span.platform.zclose_file(span.platform.opaque, span.stream);
    span.stream = nullptr;
    return nullptr;
  }
  span.position = 0;
  return &span;
}

uLong ZCALLBACK ReadSpan(voidpf opaque, voidpf, void* buffer, uLong size) {
  ZipSpanIo& span = Span(opaque);
  const auto length = static_cast<std::uint64_t>(span.length);
  // Nothing past the span is the archive's, even where the file goes on.
  if (span.position >= length) return 0;
  if (size > length - span.position) size = static_cast<uLong>(length - span.position);
  // The reader seeks before every read; the file itself moves only when it must.
  const std::uint64_t at = span.offset + span.position;
  if (span.streamAt != at && PlatformSeek(span, at, ZLIB_FILEFUNC_SEEK_SET) != 0) {
    span.streamAt = UINT64_MAX;
    return 0;
  }
  const uLong read = span.platform.zread_file(span.platform.opaque, span.stream, buffer, size);
  span.position += read;
  // After a short read the file's position is not worth trusting.
  span.streamAt = read == size ? at + read : UINT64_MAX;
  return read;
}

uLong ZCALLBACK WriteSpan(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellSpan(voidpf opaque, voidpf) { return Span(opaque).position; }

long ZCALLBACK SeekSpan(voidpf opaque, voidpf, ZPOS64_T where, int origin) {
  ZipSpanIo& span = Span(opaque);
  const auto length = static_cast<std::uint64_t>(span.length);
  std::uint64_t target = where;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) target = span.position + where;
  if (origin == ZLIB_FILEFUNC_SEEK_END) target = length + where;
  if (target > length) return -1;
  span.position = target;
  return 0;
}

int ZCALLBACK CloseSpan(voidpf opaque, voidpf) {
  ZipSpanIo& span = Span(opaque);
  const int result = span.platform.zclose_file(span.platform.opaque, span.stream);
  span.stream = nullptr;
  return result;
}

int ZCALLBACK ErrorSpan(voidpf opaque, voidpf) {
  ZipSpanIo& span = Span(opaque);
  return span.platform.zerror_file(span.platform.opaque, span.stream);
}

}  // namespace

void FillSpanFileFunctions(ZipSpanIo& span, zlib_filefunc64_def& functions) {
  functions.zopen64_file = OpenSpan;
  functions.zread_file = ReadSpan;
  functions.zwrite_file = WriteSpan;
  functions.ztell64_file = TellSpan;
  functions.zseek64_file = SeekSpan;
  functions.zclose_file = CloseSpan;
  functions.zerror_file = ErrorSpan;
  functions.opaque = &span;
}

}  // namespace Kyrowan::Windows
