// CEhloKeywordScanner: watches the lines of an EHLO reply for one service
// extension keyword (RFC 5321 section 4.1.1.1: "250-KEYWORD params" or
// "250 KEYWORD params" on the last line), as they arrive, split across
// receives anywhere. Keywords compare without case; a line that merely
// starts with the keyword ("STARTTLSX") or names it later does not count.
//
// The reply is untrusted: the scanner keeps no bytes, only a few counters,
// so any length of reply is safe.
#ifndef MAILVANE_SMTP_EHLO_KEYWORDS_H
#define MAILVANE_SMTP_EHLO_KEYWORDS_H

#include <cstddef>
#include <string>
#include <utility>

class CEhloKeywordScanner {
 public:
  // keyword in upper case, e.g. "STARTTLS"; the empty keyword is never found.
  explicit CEhloKeywordScanner(std::string keyword) : m_keyword(std::move(keyword)) {}

  void Feed(const char *bytes, std::size_t length);
  bool Found() const { return m_found; }

 private:
  void EndLine();

  std::string m_keyword;
  std::size_t m_column = 0;   // of the next byte in its line
  std::size_t m_matched = 0;  // keyword bytes matched so far
  bool m_matching = true;     // the line can still name the keyword
  bool m_found = false;
};

#endif
