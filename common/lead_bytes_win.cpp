#include <windows.h>

#include "common/path.h"

namespace {

LeadBytes SystemLeadBytes() {
  LeadBytes table = {};
  CPINFO info;
  table.MultiByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
  for (int value = 0; value < 256; ++value)
    table.Lead[value] = IsDBCSLeadByte(static_cast<BYTE>(value)) != FALSE;
  return table;
}

}  // namespace

// Defined here, beside its initialiser, rather than with the helpers that
// read it: a static initialiser in a library member that nothing references
// is left out of the link, and the table would stay empty. Filled during
// static initialisation, before WinMain.
LeadBytes LeadByteTable = SystemLeadBytes();
