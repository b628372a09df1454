#include "charset/lead_byte.h"

namespace {

// Lead-byte ranges of the double-byte code pages.
struct LeadRange {
  unsigned char first;
  unsigned char last;
};

struct DoubleByteCodePage {
  std::uint32_t code_page;
  LeadRange ranges[2];
};

constexpr DoubleByteCodePage kDoubleByteCodePages[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}}},  // Shift_JIS
    {936, {{0x81, 0xFE}, {0x81, 0xFE}}},  // GBK
    {949, {{0x81, 0xFE}, {0x81, 0xFE}}},  // Unified Hangul Code
    {950, {{0x81, 0xFE}, {0x81, 0xFE}}},  // Big5
};

}  // namespace

CLeadBytes CLeadBytes::OfCodePage(std::uint32_t code_page) {
  CLeadBytes table;
  for (const DoubleByteCodePage &entry : kDoubleByteCodePages) {
    if (entry.code_page != code_page) continue;
    for (const LeadRange &range : entry.ranges)
      for (unsigned b = range.first; b <= range.last; ++b) table.SetLead(static_cast<unsigned char>(b));
  }
  return table;
}
