#include "charset/lead_byte.h"

#include <windows.h>

#include "charset/thread_codepage.h"

CLeadBytes ThreadLeadBytes() {
  CLeadBytes table;
  const UINT code_page = ThreadCodePage();
  constexpr unsigned kByteValues = 256;
  for (unsigned b = 0; b < kByteValues; ++b)
    if (IsDBCSLeadByteEx(code_page, static_cast<BYTE>(b)))
      table.SetLead(static_cast<unsigned char>(b));
  return table;
}
