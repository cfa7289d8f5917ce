#include <windows.h>

#include "common/path.h"

namespace {

// Runs during static initialisation, before WinMain.
struct LeadByteTableFiller {
  LeadByteTableFiller() {
    CPINFO info;
    LeadByteTable.MultiByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
    for (int value = 0; value < 256; ++value)
      LeadByteTable.Lead[value] = IsDBCSLeadByte(static_cast<BYTE>(value)) != FALSE;
  }
} FillLeadByteTable;

}  // namespace
