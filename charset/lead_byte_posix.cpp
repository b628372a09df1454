#include "charset/lead_byte.h"

#include "charset/thread_codepage.h"

// Text reaches us in the thread's locale codeset; only the double-byte
// code pages among them have lead bytes.
CLeadBytes ThreadLeadBytes() { return CLeadBytes::OfCodePage(ThreadCodePage()); }
