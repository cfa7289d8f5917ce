#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shell/pe_machine.h"

namespace {

// An image's first bytes: "MZ", e_lfanew at 0x3c, and the signature with the
// machine at that offset; size bytes in all (at least the header's end).
std::vector<unsigned char> Image(uint32_t new_header, uint16_t machine, size_t size) {
  std::vector<unsigned char> bytes(size, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3c + i] = static_cast<unsigned char>(new_header >> (8 * i));
  if (new_header + 6 <= size) {
    memcpy(&bytes[new_header], "PE\0\0", 4);
    bytes[new_header + 4] = static_cast<unsigned char>(machine);
    bytes[new_header + 5] = static_cast<unsigned char>(machine >> 8);
  }
  return bytes;
}

struct MachineCase {
  const char* label;
  std::vector<unsigned char> bytes;
  bool read;
  uint16_t machine;
};

TEST(ReadPeMachine, HeadersAndBoundaries) {
  std::vector<unsigned char> not_mz = Image(0x80, 0x8664, 0x200);
  not_mz[0] = 'Z';
  std::vector<unsigned char> not_pe = Image(0x80, 0x8664, 0x200);
  not_pe[0x81] = 'X';
  std::vector<unsigned char> cut_dos_header = Image(0x80, 0x8664, 0x200);
  cut_dos_header.resize(63);
  const MachineCase cases[] = {
      {"x64 library", Image(0x80, 0x8664, 0x200), true, 0x8664},
      {"i386 library", Image(0xe8, 0x014c, 0x200), true, 0x014c},
      {"header ends exactly at the last byte read", Image(0x200 - 24, 0x8664, 0x200), true, 0x8664},
      {"header one byte beyond what was read", Image(0x200 - 23, 0x8664, 0x200), false, 0},
      {"e_lfanew far beyond the file", Image(0x7fffffff, 0x8664, 0x200), false, 0},
      {"e_lfanew that would wrap around", Image(0xfffffff0, 0x8664, 0x200), false, 0},
      {"no MZ", not_mz, false, 0},
      {"no PE signature", not_pe, false, 0},
      {"truncated inside the DOS header", cut_dos_header, false, 0},
      {"empty file", {}, false, 0},
  };
  for (const MachineCase& c : cases) {
    uint16_t machine = 0;
    EXPECT_EQ(ReadPeMachine(c.bytes.data(), c.bytes.size(), &machine), c.read) << c.label;
    if (c.read) {
      EXPECT_EQ(machine, c.machine) << c.label;
    }
  }
}

TEST(IsPe64BitMachine, OnlyThe64BitMachines) {
  EXPECT_TRUE(IsPe64BitMachine(PeMachineAmd64));
  EXPECT_TRUE(IsPe64BitMachine(PeMachineArm64));
  EXPECT_FALSE(IsPe64BitMachine(PeMachineI386));
  EXPECT_FALSE(IsPe64BitMachine(0));
}

}  // namespace
