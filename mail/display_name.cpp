#include "mail/display_name.h"

#include "charset/convert.h"
#include "mail/multibyte_text.h"

namespace {

// Room for the encoded display name of L bytes: 3 × (L + ⌊3L/68⌋ + 1) + 58,
// enough for a Q word (every byte escaped, with a fold allowance) and for
// a charset name of up to 50 bytes with the 7 delimiter bytes.
constexpr std::size_t kEncodeFactor = 3;
constexpr std::size_t kFoldDivisor = 68;
constexpr std::size_t kEncodeReserve = 58;

// Names whose encoding area fits here (converted names up to 63 bytes)
// need no heap memory.
constexpr std::size_t kLocalEncodeArea = 256;

// Bytes that must never reach a header line raw. A NUL cannot come in
// through a C string, but is refused all the same.
constexpr char kLineBreaks[] = {'\r', '\n', '\0'};

bool HasLineBreakOrNul(const std::string &text) {
  return text.find_first_of(kLineBreaks, 0, sizeof kLineBreaks) != std::string::npos;
}

std::size_t EncodeAreaSize(std::size_t length) {
  return kEncodeFactor * (length + kEncodeFactor * length / kFoldDivisor + 1) + kEncodeReserve;
}

}  // namespace

DisplayOutcome MakeDisplayPart(const CMailHeader &header, const std::string &name,
                               std::uint32_t code_page, TextSource source, const CLeadBytes &lead,
                               std::string &out) {
  try {
    std::string converted;
    if (header.m_multiLanguage != nullptr) {
      if (!ConvertText(header.m_multiLanguage, code_page, name.c_str(), converted, source))
        return DisplayOutcome::kFailed;
    } else {
      converted = name;
    }
    char charset[kCharsetNameSize] = {};
    if (!GetCharsetName(charset, code_page, header.m_multiLanguage, kCharsetNameSize))
      return DisplayOutcome::kFailed;

    const std::size_t capacity = EncodeAreaSize(converted.size());
    char local[kLocalEncodeArea];
    std::string heap;
    char *area = local;
    if (capacity > sizeof local) {
      heap.resize(capacity);
      area = heap.data();
    }
    std::size_t produced = 0;
    int encoded = 0;
    // Without a service a line break cannot be encoded: refused, not failed.
    if (header.m_multiLanguage == nullptr && HasLineBreakOrNul(converted))
      return DisplayOutcome::kRefused;
    if (!header.EncodeHeaderText(converted, charset, area, capacity, &produced, &encoded,
                                 WordPlace::kPhrase))
      return DisplayOutcome::kFailed;
    // Copied unchanged, a line break would end the header line early.
    if (!encoded && HasLineBreakOrNul(converted)) return DisplayOutcome::kRefused;

    out.clear();
    if (encoded) {
      out.assign(area, produced);
    } else {
      out.push_back('"');
      AppendQuotedText(out, converted, lead);
      out.push_back('"');
    }
    return DisplayOutcome::kMade;
  } catch (...) {
    return DisplayOutcome::kFailed;
  }
}
