// Reading the server's replies: the code of a reply, the number at its
// start, the text that shows the code, and the end of a multi-line reply.
//
// A reply is whatever one receive yields, at most kReplyCapacity bytes; it
// is untrusted and never zero-terminated, so every function here takes its
// length and reads no byte beyond it.
#ifndef MAILVANE_SMTP_REPLY_H
#define MAILVANE_SMTP_REPLY_H

#include <cstddef>
#include <string>

// The most one receive takes for a reply.
inline constexpr std::size_t kReplyCapacity = 1000;

// The reply's first three bytes equal expected (three characters), byte for
// byte; a reply of fewer than three bytes never matches.
bool ReplyCodeIs(const char *reply, std::size_t length, const char *expected);

// The decimal number at the start of the reply, leading blanks skipped, up
// to the first non-digit; 0 when there is none. Saturates far above any
// reply code, so digits never overflow.
int ReplyNumber(const char *reply, std::size_t length);

// A reply to RCPT TO accepts the recipient when its number (above) is
// 250, or 251, "user not local; will forward" (RFC 5321 section 3.4).
bool AcceptsRecipient(const char *reply, std::size_t length);

// The reply's code as a message shows it: its first three received bytes,
// any byte outside printable ASCII shown as "?".
std::string ReplyCodeText(const char *reply, std::size_t length);

// Watches the bytes of a reply for its final line: three digits followed by
// a space (or by the line end), the line ended by CR LF (RFC 5321 4.2.1).
// Lines may be split across receives.
class CReplyEndScanner {
 public:
  // Returns true once a final line has been seen (now or before).
  bool Feed(const char *bytes, std::size_t length);
  bool Done() const { return m_done; }

 private:
  std::size_t m_column = 0;
  bool m_notCode = false;
  bool m_final = false;
  bool m_afterCr = false;
  bool m_done = false;
};

#endif
