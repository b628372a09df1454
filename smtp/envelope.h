// The envelope recipient list: every address of the To and CC texts (from
// between their angle brackets) and the BCC text, joined by ",", and the
// reader that cuts it into the elements of the RCPT TO commands.
//
// ExtractAddresses never takes a "<" inside a quoted or encoded display
// name for an address. Elements are delimited by ",", ";", a space or the
// end of the list; white space after a delimiter is skipped. CR and LF
// delimit nothing: an element that holds one, or any other byte an address
// may not hold (mail/envelope_address.h), is refused whole by the RCPT TO
// step, never cut into addresses of its own. An element of more than 988
// characters (the most a 1000-character RCPT TO line holds) is refused
// before its command is built.
#ifndef MAILVANE_SMTP_ENVELOPE_H
#define MAILVANE_SMTP_ENVELOPE_H

#include <cstddef>
#include <string>

// The longest envelope element: "RCPT TO:<" + 988 + ">\r\n" is 1000 bytes.
inline constexpr std::size_t kMaxEnvelopeElement = 988;

// Writes the addresses of one To or CC text into output joined by ",",
// NUL-terminated; *count (when given) gets the characters written.
bool ExtractAddresses(const char *text, char *output, std::size_t *count);

class CEnvelopeElements {
 public:
  enum Result { kElement, kEnd, kTooLong };
  explicit CEnvelopeElements(const char *list) : m_next(list) {}
  // The next element (possibly empty) into element; kEnd after the last;
  // kTooLong when an element would exceed kMaxEnvelopeElement.
  Result Next(std::string &element);

 private:
  const char *m_next;
  bool m_done = false;
};

#endif
