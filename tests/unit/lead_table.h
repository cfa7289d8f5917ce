#pragma once
// Gives LeadByteTable a double-byte layout for the length of a test and puts
// the previous one back afterwards.
#include "common/path.h"

class ScopedLeadBytes {
 public:
  // Every byte from first through last becomes a lead byte.
  ScopedLeadBytes(unsigned char first, unsigned char last) : saved_(LeadByteTable) {
    LeadByteTable = LeadBytes{};
    LeadByteTable.MultiByte = true;
    for (int value = first; value <= last; ++value) LeadByteTable.Lead[value] = true;
  }
  ~ScopedLeadBytes() { LeadByteTable = saved_; }
  ScopedLeadBytes(const ScopedLeadBytes&) = delete;
  ScopedLeadBytes& operator=(const ScopedLeadBytes&) = delete;

 private:
  LeadBytes saved_;
};

// Code page 936 (GBK): lead bytes 0x81..0xFE; trail bytes include 0x5C, the
// backslash. "\x95\x5C" is such a character.
inline ScopedLeadBytes Gbk() { return ScopedLeadBytes(0x81, 0xFE); }
