// The envelope recipient list of a mail and the reader of its elements.
//
// The To and CC texts hold items '"name" <address>' or
// 'encoded-word <address>' joined by ", "; only what stands between "<" and
// ">" is an address. Quoted names (with their backslash escapes) and
// encoded words are passed over whole, so a "<" inside a display name never
// starts an address.
#include "smtp/envelope.h"

#include <cstring>

#include "mail/smtp_mail.h"

namespace {

constexpr char kSeparator = ',';

// "?" marks inside "=?charset?encoding?text?=" before its closing "?=":
// the one after "=", the one after the charset and the one after the
// encoding. A Q word whose text starts with an escaped byte reads
// "...?Q?=E9..." and must not end at that first "?=".
constexpr int kEncodedWordInnerMarks = 3;

// p points at the "=" that opens an encoded name; returns the position of
// the "=" of its closing "?=", or of the terminating NUL.
const char *SkipEncodedName(const char *p) {
  int marks_to_pass = p[1] == '?' ? kEncodedWordInnerMarks : 0;
  for (++p; *p != '\0'; ++p) {
    if (*p != '?') continue;
    if (marks_to_pass > 0) {
      --marks_to_pass;
      continue;
    }
    if (p[1] == '=') return p + 1;
  }
  return p;
}

// p points at the opening quotation mark; returns the position of the
// closing one, or of the terminating NUL.
const char *SkipQuotedName(const char *p) {
  for (++p; *p != '\0' && *p != '"'; ++p)
    if (*p == '\\' && p[1] != '\0') ++p;
  return p;
}

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// CR and LF are no delimiters: an element that holds one is refused whole
// by the RCPT TO step, never cut into addresses of its own.
bool IsElementDelimiter(char c) { return c == ',' || c == ';' || c == ' '; }

}  // namespace

bool ExtractAddresses(const char *text, char *output, std::size_t *count) {
  if (output == nullptr) return false;
  std::size_t n = 0;
  for (const char *p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    if (*p == '"') {
      p = SkipQuotedName(p);
    } else if (*p == '=') {
      p = SkipEncodedName(p);
    } else if (*p == '<') {
      for (++p; *p != '\0' && *p != '>'; ++p) output[n++] = *p;
      output[n++] = kSeparator;
    }
    if (*p == '\0') break;
  }
  if (n > 0) --n;  // the separator after the last address
  output[n] = '\0';
  if (count != nullptr) *count = n;
  return true;
}

std::size_t CSmtpMail::GetRecipientsLength() const {
  std::size_t total = m_to.size();
  for (const std::string *text : {&m_cc, &m_bcc}) {
    if (text->empty()) continue;
    if (total != 0) ++total;  // the separator in front of it
    total += text->size();
  }
  return total + 1;  // the terminating NUL
}

bool CSmtpMail::GetRecipients(char *buffer, std::size_t *length) const {
  if (buffer == nullptr) return false;
  if (length != nullptr) {
    const std::size_t needed = GetRecipientsLength();
    if (*length < needed) {
      *length = needed;
      return false;
    }
  }
  std::size_t n = 0;
  std::size_t written = 0;
  if (!m_to.empty()) {
    ExtractAddresses(m_to.c_str(), buffer, &written);
    n = written;
  }
  if (!m_cc.empty()) {
    if (n != 0) buffer[n++] = kSeparator;
    ExtractAddresses(m_cc.c_str(), buffer + n, &written);
    n += written;
  }
  if (!m_bcc.empty()) {
    if (n != 0) buffer[n++] = kSeparator;
    std::memcpy(buffer + n, m_bcc.data(), m_bcc.size());
    n += m_bcc.size();
  }
  buffer[n] = '\0';
  if (length != nullptr) *length = n;
  return true;
}

CEnvelopeElements::Result CEnvelopeElements::Next(std::string &element) {
  element.clear();
  if (m_done) return m_next != nullptr ? kEnd : kTooLong;
  if (m_next == nullptr) m_next = "";  // no list reads as the empty list
  for (;;) {
    const char c = *m_next;
    if (c == '\0') {
      m_done = true;
      return kElement;
    }
    if (IsElementDelimiter(c)) {
      ++m_next;
      while (IsWhiteSpace(*m_next)) ++m_next;
      return kElement;
    }
    if (element.size() == kMaxEnvelopeElement) {
      // Refused before its command is built; the reader stays refused.
      element.clear();
      m_done = true;
      m_next = nullptr;
      return kTooLong;
    }
    element.push_back(c);
    ++m_next;
  }
}
