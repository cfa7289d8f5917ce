#include "shell/pe_machine.h"

namespace {

const size_t DosHeaderSize = 64;
const size_t NewHeaderOffsetField = 0x3c;
// "PE\0\0" and the 20-byte file header that follows it
const size_t NewHeaderSize = 4 + 20;

uint32_t ReadLittle32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ReadPeMachine(const unsigned char* data, size_t size, uint16_t* machine) {
  if (!data || size < DosHeaderSize || data[0] != 'M' || data[1] != 'Z') return false;
  const uint32_t offset = ReadLittle32(data + NewHeaderOffsetField);
  // written so that an offset near 4 GiB cannot wrap around
  if (size < NewHeaderSize || offset > size - NewHeaderSize) return false;
  const unsigned char* header = data + offset;
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return false;
  *machine = static_cast<uint16_t>(header[4] | (header[5] << 8));
  return true;
}

bool IsPe64BitMachine(uint16_t machine) {
  return machine == PeMachineAmd64 || machine == PeMachineArm64;
}
