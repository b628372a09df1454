// The output channel: where every byte of a message goes.
//
// The MIME writers know nothing of sockets: they write through this
// interface. The SMTP connection implements it over its socket (with its
// write time-out); tests implement it in memory, to check the bytes and to
// fail the Nth write. A channel that fails keeps failing is not required:
// writers stop at the first false.
//
// A writer that fails for a reason of its own (an attachment file that
// cannot be opened or read) leaves a text naming it with ReportFailure
// before it returns 0, so that the channel's owner can tell the client why
// the message broke off; the channel's own write failures need no report.
#ifndef MAILVANE_MIME_OUTPUT_CHANNEL_H
#define MAILVANE_MIME_OUTPUT_CHANNEL_H

#include <cstddef>

class COutputChannel {
 public:
  virtual ~COutputChannel() = default;
  // Writes all length bytes, waiting as needed. Returns true when every
  // byte was accepted, false on the first failure; the channel keeps its
  // own account of why.
  virtual bool WriteBytes(const void *data, std::size_t length) = 0;
  // Takes the text of a writer's failure (NUL-terminated); the SMTP
  // connection keeps it as its last-error text. By default it is dropped.
  virtual void ReportFailure(const char *text) {}
};

#endif
