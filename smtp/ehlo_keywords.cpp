#include "smtp/ehlo_keywords.h"

#include "charset/ascii_case.h"

namespace {

// A reply line: three digits, a separator ("-" or " "), then the keyword.
constexpr std::size_t kCodeLength = 3;
constexpr std::size_t kKeywordColumn = 4;
// SIZE stops growing here: far beyond any message, and no overflow.
constexpr std::uint64_t kSizeCeiling = 1000000000000000000ull;
constexpr char kCutMark[] = "...";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool SameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// The name as a message may show it: printable ASCII only, bounded.
std::string Sanitised(const std::string &name) {
  std::string shown = name.substr(0, kMaxMechanismName);
  for (char &c : shown)
    if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7e) c = '?';
  return shown;
}

}  // namespace

bool CEhloCapabilities::Offers(const char *mechanism) const {
  for (const std::string &name : mechanisms)
    if (SameName(name, mechanism)) return true;
  return false;
}

std::string CEhloCapabilities::OfferedText() const {
  std::string text;
  bool leftOut = mechanismsCut;
  for (const std::string &name : mechanisms) {
    std::size_t needed = text.size() + (text.empty() ? 0 : 1) + name.size();
    if (needed > kMaxOfferedText) {
      leftOut = true;
      break;
    }
    if (!text.empty()) text += ' ';
    text += name;
  }
  if (leftOut) text += kCutMark;
  return text;
}

void CEhloReplyReader::Feed(const char *bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    char c = bytes[i];
    if (c == '\n') {
      EndLine();
    } else if (m_length < kMaxKeptLine) {
      m_line[m_length++] = c;
    }
  }
}

void CEhloReplyReader::EndLine() {
  const std::size_t length = m_length;
  m_length = 0;
  if (length <= kKeywordColumn) return;
  for (std::size_t i = 0; i < kCodeLength; ++i)
    if (!IsDigit(m_line[i])) return;
  if (m_line[kCodeLength] != '-' && m_line[kCodeLength] != ' ') return;
  // The line's text ends at its CR; the keyword at a blank, or at the "="
  // of the older AUTH form.
  std::size_t end = kKeywordColumn;
  while (end < length && m_line[end] != '\r') ++end;
  std::size_t k = kKeywordColumn;
  while (k < end && m_line[k] != ' ' && m_line[k] != '=') ++k;
  std::string keyword;
  for (std::size_t i = kKeywordColumn; i < k; ++i) keyword += AsciiUpper(m_line[i]);
  const bool equals = k < end && m_line[k] == '=';
  const std::string params(m_line + (k < end ? k + 1 : end), m_line + end);

  if (keyword == "AUTH") {
    m_offer.auth = true;
    AddMechanisms(params);
  } else if (equals) {
    return;  // only AUTH has the "=" form
  } else if (keyword == "STARTTLS") {
    m_offer.startTls = true;
  } else if (keyword == "PIPELINING") {
    m_offer.pipelining = true;
  } else if (keyword == "8BITMIME") {
    m_offer.eightBitMime = true;
  } else if (keyword == "SIZE") {
    // RFC 1870 section 4: an optional number, the largest message taken.
    m_offer.size = true;
    std::uint64_t limit = 0;
    for (std::size_t i = 0; i < params.size() && IsDigit(params[i]); ++i)
      if (limit < kSizeCeiling) limit = limit * 10 + static_cast<std::uint64_t>(params[i] - '0');
    m_offer.sizeLimit = limit;
  }
}

void CEhloReplyReader::AddMechanisms(const std::string &list) {
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t blank = list.find(' ', start);
    if (blank == std::string::npos) blank = list.size();
    if (blank > start) {
      std::string name = Sanitised(list.substr(start, blank - start));
      if (!m_offer.Offers(name.c_str())) {
        if (m_offer.mechanisms.size() < kMaxMechanisms)
          m_offer.mechanisms.push_back(name);
        else
          m_offer.mechanismsCut = true;
      }
    }
    start = blank + 1;
  }
}
