#include "smtp/ehlo_keywords.h"

namespace {

// A reply line: three digits, a separator ("-" or " "), then the keyword.
constexpr std::size_t kCodeLength = 3;
constexpr std::size_t kKeywordColumn = 4;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

void CEhloKeywordScanner::EndLine() {
  if (m_matching && !m_keyword.empty() && m_matched == m_keyword.size()) m_found = true;
  m_column = 0;
  m_matched = 0;
  m_matching = true;
}

void CEhloKeywordScanner::Feed(const char *bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    char c = bytes[i];
    if (c == '\n') {
      EndLine();
      continue;
    }
    std::size_t column = m_column++;
    if (!m_matching) continue;
    if (column < kCodeLength) {
      m_matching = c >= '0' && c <= '9';
    } else if (column < kKeywordColumn) {
      m_matching = c == '-' || c == ' ';
    } else if (m_matched < m_keyword.size()) {
      if (Upper(c) == m_keyword[m_matched])
        ++m_matched;
      else
        m_matching = false;
    } else {
      // The keyword ends at a parameter or at the line end.
      if (c == ' ' || c == '\r') m_found = m_found || !m_keyword.empty();
      m_matching = false;
    }
  }
}
