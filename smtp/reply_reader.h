// CReplyReader: the replies to a group of pipelined commands (RFC 2920),
// taken one by one, in order, from a byte source that may split a reply
// anywhere or bring several replies (and the lines of one) at once.
//
// A reply is every line up to the first that does not continue it: a
// line of three digits and "-" continues it (RFC 5321 section 4.2.1), any
// other line ends it, a malformed one included, so that such a reply is
// judged by its code like any other instead of being waited past. A line
// ends at LF. What follows a reply in the same receive is kept for the
// next one; the reader belongs to one group of commands and one source.
//
// Replies are untrusted: each receive takes at most kReplyCapacity bytes,
// the caller gets the first kReplyCapacity bytes of a reply (the rest of a
// longer one is read and dropped), and a reply of more than kMaxReplyLength
// bytes in all fails. Every reply has its own time limit.
#ifndef MAILVANE_SMTP_REPLY_READER_H
#define MAILVANE_SMTP_REPLY_READER_H

#include <cstddef>

#include "smtp/reply.h"
#include "smtp/socket_io.h"

// 512 octets a reply line (RFC 5321 section 4.5.3.1.5) and far more lines
// than any server's reply to MAIL, RCPT or DATA holds.
inline constexpr std::size_t kMaxReplyLength = 64 * 1024;

// Where the bytes come from: one receive of at most *length bytes within
// timeoutMs; *length is set to the bytes received, 0 when the peer closed.
class CReplySource {
 public:
  virtual ~CReplySource() = default;
  virtual IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error) = 0;
};

enum class ReplyRead {
  kReply,     // a whole reply
  kClosed,    // the peer closed before the reply was whole
  kFailed,    // a receive failed; *error holds the platform's number
  kTimedOut,  // the reply was not whole within its limit
  kTooLong,   // the reply passed kMaxReplyLength
};

class CReplyReader {
 public:
  explicit CReplyReader(CReplySource &source) : m_source(source) {}
  CReplyReader(const CReplyReader &) = delete;
  CReplyReader &operator=(const CReplyReader &) = delete;

  // The next reply within timeoutMs: its first bytes (at most
  // kReplyCapacity) into reply, their number into *length.
  ReplyRead Next(char *reply, std::size_t *length, int timeoutMs, int *error);

 private:
  CReplySource &m_source;
  char m_held[kReplyCapacity];  // received, not yet taken by a reply
  std::size_t m_heldLength = 0;
};

#endif
