#include "report/display_width.h"

namespace {

// The ranges of East Asian Wide and Fullwidth characters, in order.
struct CRange {
  char32_t first, last;
};
constexpr CRange kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E},
    {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

constexpr char kCut[] = "...";
constexpr std::size_t kCutWidth = sizeof kCut - 1;
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// The code point of the sequence at text[i] and its length.
char32_t Decode(std::string_view text, std::size_t i, std::size_t &length) {
  const unsigned char b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    length = 1;
    return b0;
  }
  length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
  if (i + length > text.size()) {  // not reached for checked text
    length = text.size() - i;
    return 0xFFFD;
  }
  char32_t c = b0 & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return c;
}

}  // namespace

std::size_t CodePointWidth(char32_t c) {
  if (c < kWide[0].first) return 1;
  std::size_t low = 0, high = sizeof kWide / sizeof kWide[0];
  while (low < high) {
    const std::size_t mid = (low + high) / 2;
    if (c < kWide[mid].first) high = mid;
    else if (c > kWide[mid].last) low = mid + 1;
    else return 2;
  }
  return 1;
}

std::size_t AppendShownText(std::string &out, std::string_view text, std::size_t limit) {
  const std::size_t start = out.size();
  std::size_t width = 0;
  // Where the text would be cut, should it prove too wide: the size of out
  // and the width there, at the last character that leaves room for "...".
  std::size_t cutSize = start, cutWidth = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const char32_t c = Decode(text, i, length);
    const std::size_t w = CodePointWidth(c);
    if (width + w > limit) {
      out.resize(cutSize);
      out += kCut;
      return cutWidth + kCutWidth;
    }
    if (c == 0) out += kReplacement;
    else if (c < 0x20 || c == 0x7F) out += ' ';
    else out.append(text.data() + i, length);
    width += w;
    if (width + kCutWidth <= limit) {
      cutSize = out.size();
      cutWidth = width;
    }
    i += length;
  }
  return width;
}
