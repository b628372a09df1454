// Reading the server's replies: the lines of one reply and the code it is
// judged by, the code of a reply's bytes, the number at their start, and
// the text that shows a code.
//
// Replies are untrusted and never zero-terminated, so every function here
// takes its length and reads no byte beyond it.
#ifndef MAILVANE_SMTP_REPLY_H
#define MAILVANE_SMTP_REPLY_H

#include <cstddef>
#include <string>

// The first bytes of a reply that are kept, and the most one receive takes.
inline constexpr std::size_t kReplyCapacity = 1000;
// Digits of a reply code (RFC 5321 section 4.2).
inline constexpr std::size_t kReplyCodeLength = 3;

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

// The start of each reply line that is kept for judging: its code, the
// byte after it, and room for the number of a line whose digits run on or
// follow blanks (ReplyNumber).
inline constexpr std::size_t kKeptLineStart = 16;

// What a reply is judged by: its last line (RFC 5321 section 4.2.1). A
// step that expects a code matches only a well-formed reply, every line a
// reply line ("nnn-text", "nnn text", "nnn") of that one code; RCPT TO is
// judged by the number of the last line, of a reply whose lines all open
// with the same three bytes. Lines that disagree match nothing.
class CReplyCode {
 public:
  // Well formed, with the expected code (three characters).
  bool Is(const char *expected) const;
  // The lines agree, and the last one's number accepts a recipient
  // (AcceptsRecipient above).
  bool AcceptsRecipient() const;
  // The last line's code as a message shows it (ReplyCodeText above).
  std::string Text() const { return ReplyCodeText(m_start, m_length); }
  bool WellFormed() const { return m_wellFormed; }

 private:
  friend class CReplyLines;
  char m_start[kKeptLineStart] = {};  // of the last line, without its line end
  std::size_t m_length = 0;
  bool m_agrees = false;
  bool m_wellFormed = false;
};

// Watches the lines of one reply for its last: a line of three digits and
// "-" continues the reply, any other line ends it, a malformed one
// included, so that such a reply is judged instead of being waited past.
// A line ends at LF, with or without CR before it (servers that end lines
// with LF alone are read as they mean it). Lines may be split anywhere.
class CReplyLines {
 public:
  // The bytes of data up to and including the LF of the reply's last
  // line, or all of them when that line has not come yet.
  std::size_t Take(const char *data, std::size_t length);
  bool Done() const { return m_done; }
  // What the lines ended so far are judged by; before the first has
  // ended, the start of that line, which matches nothing.
  CReplyCode Code() const;

 private:
  void EndLine();

  CReplyCode m_code;  // of the lines ended
  std::size_t m_lines = 0;
  char m_line[kKeptLineStart] = {};  // the current line's start
  std::size_t m_column = 0;          // bytes of it kept
  bool m_storedCr = false;           // the last byte kept is a CR
  bool m_done = false;
};

#endif
