// The output channel: where every byte of a message goes.
//
// The MIME writers know nothing of sockets: they write through this
// interface. The SMTP connection implements it over its socket (with its
// write time-out); tests implement it in memory, to check the bytes and to
// fail the Nth write. A channel that fails keeps failing is not required:
// writers stop at the first false.
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
  // A writer that fails for a reason of its own (a file it cannot read)
  // names it here before it returns its failure; the owner of the channel
  // reports that text. The first text set stands. The default keeps none.
  virtual void SetFailureText(const char *text) {}
};

#endif
