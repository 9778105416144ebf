#pragma once

// The demo cipher of the sample decryptor (a toy: never use it to protect anything).
//
// A locked file is a 16-byte header followed by the content XORed with a key stream:
//   bytes 0-3   "KYRS"
//   byte  4     format version, 1
//   bytes 5-7   zero
//   bytes 8-15  key check: FNV-1a 64 of "check:" + key, little-endian
// The key stream starts from FNV-1a 64 of the key and advances with xorshift64*,
// each step giving 8 bytes, least significant first.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KYRSAMPLE_HEADER_SIZE 16

#if defined(_WIN32)
#define KYRSAMPLE_CIPHER_API __declspec(dllexport)
#else
#define KYRSAMPLE_CIPHER_API __attribute__((visibility("default")))
#endif

/// Writes the header of a file locked with `key` into `header`.
KYRSAMPLE_CIPHER_API void kyrsample_make_header(const char* key, uint8_t header[KYRSAMPLE_HEADER_SIZE]);
/// 1 when `header` is a locked file's header made with `key`, 0 otherwise.
KYRSAMPLE_CIPHER_API int kyrsample_check_header(const char* key, const uint8_t* header, size_t length);
/// XORs `length` bytes with the key stream of `key`, from the start of the stream
/// (the same call locks and unlocks).
KYRSAMPLE_CIPHER_API void kyrsample_apply(const char* key, uint8_t* data, size_t length);

#ifdef __cplusplus
}
#endif
