#include "kyrsample_cipher.h"

#include <string.h>

static uint64_t Fnv1aAdd(uint64_t hash, const char* text) {
  for (const unsigned char* c = (const unsigned char*)text; *c; ++c) {
    hash ^= *c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

static uint64_t Fnv1a(const char* prefix, const char* text) {
  return Fnv1aAdd(Fnv1aAdd(0xcbf29ce484222325ULL, prefix), text);
}

static void PutLittleEndian(uint64_t value, uint8_t* out) {
  for (int i = 0; i < 8; ++i) out[i] = (uint8_t)(value >> (8 * i));
}

void kyrsample_make_header(const char* key, uint8_t header[KYRSAMPLE_HEADER_SIZE]) {
  memset(header, 0, KYRSAMPLE_HEADER_SIZE);
  memcpy(header, "KYRS", 4);
  header[4] = 1;
  PutLittleEndian(Fnv1a("check:", key), header + 8);
}

int kyrsample_check_header(const char* key, const uint8_t* header, size_t length) {
  uint8_t expected[KYRSAMPLE_HEADER_SIZE];
  if (length < KYRSAMPLE_HEADER_SIZE) return 0;
  kyrsample_make_header(key, expected);
  return memcmp(expected, header, KYRSAMPLE_HEADER_SIZE) == 0;
}

void kyrsample_apply(const char* key, uint8_t* data, size_t length) {
  uint64_t state = Fnv1a("", key) | 1;  /* xorshift must not start at zero */
  uint8_t block[8];
  for (size_t done = 0; done < length; done += 8) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    PutLittleEndian(state * 0x2545F4914F6CDD1DULL, block);
    for (size_t i = 0; i < 8 && done + i < length; ++i) data[done + i] ^= block[i];
  }
}
