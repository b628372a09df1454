// How far the last send of a mail got, and what the server said last: what
// the driver needs to decide whether the same message may go out again
// (through another server, or with a fresh token) and to tell the caller
// the server's own words.
//
// Send fills it in smtp/; it is reset at the start of every send. The
// server's reply is untrusted text, kept as received (at most one reply
// line of the first kReplyCapacity bytes, without its line end): whoever
// shows it makes it printable.
#ifndef MAILVANE_MAIL_SEND_OUTCOME_H
#define MAILVANE_MAIL_SEND_OUTCOME_H

#include <string>

struct CSendOutcome {
  // AUTH ended in a permanent refusal (5xx): nothing of the message was
  // sent, and the credentials are what the server refused.
  bool authRefused = false;
  // The end of data was written, in part or whole: the server may have
  // taken the message, so it must not be sent again.
  bool endOfDataSent = false;
  // The reply that ended the send: the 250 to the end of data (with the
  // relay's queue id) when it was sent, else the refusal that failed it;
  // empty when it ended without a refusal (no connection, a time-out, a
  // lost connection).
  std::string serverReply;
};

#endif
