// CReplyReader: every reply of one connection's dialogue, the greeting
// first, taken one by one, in order, from a byte source that may split a
// reply anywhere or bring several replies (and the lines of one) at once.
//
// A reply is read to its last line, and judged by the code of that line
// (reply.h: CReplyLines and CReplyCode). What a receive brought beyond a
// reply is held for the next one, as the reply to the next of several
// pipelined commands (RFC 2920); Holds tells whether any is, so that a
// dialogue that goes one command at a time can tell bytes that answer no
// command from the reply to its next one. The reader belongs to one
// connection and its source; Clear forgets what it holds when the
// connection closes.
//
// Replies are untrusted: each receive takes at most kReplyCapacity bytes,
// the caller gets the first kReplyCapacity bytes of a reply (the rest of a
// longer one is read, shown to the keyword reader when there is one, and
// dropped), and a reply of more than kMaxReplyLength bytes in all fails.
// Every reply has its own time limit; one may have a second for its rest,
// counted from its first bytes (the rest of an EHLO reply).
#ifndef MAILVANE_SMTP_REPLY_READER_H
#define MAILVANE_SMTP_REPLY_READER_H

#include <cstddef>

#include "smtp/ehlo_keywords.h"
#include "smtp/reply.h"
#include "smtp/socket_io.h"

// 512 octets a reply line (RFC 5321 section 4.5.3.1.5) and far more lines
// than any server's reply holds, an EHLO reply included.
inline constexpr std::size_t kMaxReplyLength = 64 * 1024;

// Where the bytes come from: one receive of at most *length bytes within
// timeoutMs; *length is set to the bytes received, 0 when the peer closed.
class CReplySource {
 public:
  virtual ~CReplySource() = default;
  virtual IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error) = 0;
};

// No limit of its own for the rest of a reply: the whole is bounded by
// limitMs alone.
inline constexpr int kNoRestLimit = -1;

// How one reply is waited for.
struct CReplyWait {
  int limitMs;                // the whole reply, from the call on
  int restMs = kNoRestLimit;  // else the rest, from its first bytes on
  CEhloReplyReader *keywords = nullptr;  // when set, sees every byte of the reply
};

enum class ReplyRead {
  kReply,     // a whole reply
  kClosed,    // the peer closed before the reply was whole
  kFailed,    // a receive failed; *error holds the platform's number
  kTimedOut,  // the reply was not whole within its limit
  kTooLong,   // the reply passed kMaxReplyLength
  kCancelled,  // the call was cancelled while the reply was awaited
};

class CReplyReader {
 public:
  explicit CReplyReader(CReplySource &source) : m_source(source) {}
  CReplyReader(const CReplyReader &) = delete;
  CReplyReader &operator=(const CReplyReader &) = delete;

  // The next reply as wait says: its first bytes (at most kReplyCapacity)
  // into reply, their number into *length, what it is judged by into
  // *code. A reply that did not end says so, with what came of it.
  ReplyRead Next(char *reply, std::size_t *length, CReplyCode *code, const CReplyWait &wait,
                 int *error);
  // Bytes received beyond the replies taken.
  bool Holds() const { return m_heldLength > 0; }
  void Clear() { m_heldLength = 0; }

 private:
  CReplySource &m_source;
  char m_held[kReplyCapacity];  // received, not yet taken by a reply
  std::size_t m_heldLength = 0;
};

#endif
