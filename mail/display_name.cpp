#include "mail/display_name.h"

#include "charset/convert.h"
#include "mail/multibyte_text.h"

namespace {

// Bytes that must never reach a header line raw, nor an encoded word of a
// name. A NUL cannot come in through a C string, but is refused all the
// same.
constexpr char kLineBreaks[] = {'\r', '\n', '\0'};

bool HasLineBreakOrNul(const std::string &text) {
  return text.find_first_of(kLineBreaks, 0, sizeof kLineBreaks) != std::string::npos;
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
    if (HasLineBreakOrNul(converted)) return DisplayOutcome::kRefused;

    std::string words;
    bool encoded = false;
    if (!BuildHeaderText(converted, charset, header.m_multiLanguage != nullptr, words, encoded,
                         WordPlace::kPhrase))
      return DisplayOutcome::kFailed;
    out.clear();
    if (encoded) {
      out.swap(words);
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
