#include "charset/lead_byte.h"

#include <windows.h>

CLeadBytes AnsiLeadBytes() {
  CLeadBytes table;
  constexpr unsigned kByteValues = 256;
  for (unsigned b = 0; b < kByteValues; ++b)
    if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b))) table.SetLead(static_cast<unsigned char>(b));
  return table;
}
