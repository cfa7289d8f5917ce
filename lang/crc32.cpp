#include "lang/crc32.h"

#include <cstring>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the eight-byte step reads its words as little-endian"
#endif

namespace {

uint32_t CrcTable[256];

// Built on first use; entry 1 is never zero once built.
void BuildCrcTable() {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    CrcTable[n] = value;
  }
}

inline uint32_t StepByte(uint32_t crc) { return CrcTable[crc & 0xFF] ^ (crc >> 8); }

}  // namespace

uint32_t Crc32(uint32_t crc, const void* bytes, size_t length) {
  if (CrcTable[1] == 0) BuildCrcTable();
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  // Eight bytes per step: each word XOR-ed into the running value is the
  // same as XOR-ing its four bytes one by one as they reach the low end.
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t words[2];
    std::memcpy(words, p, sizeof(words));
    crc ^= words[0];
    crc = StepByte(StepByte(StepByte(StepByte(crc))));
    crc ^= words[1];
    crc = StepByte(StepByte(StepByte(StepByte(crc))));
  }
  for (; length > 0; --length, ++p) crc = StepByte(crc ^ *p);
  return crc;
}
