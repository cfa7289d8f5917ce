#include "common/path.h"

// The native build has no system code page: single-byte until a test gives
// the table a double-byte layout (lead_table.h).
LeadBytes LeadByteTable = {};
