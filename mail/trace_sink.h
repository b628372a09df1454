// CTraceSink: where a send reports what happens on its connection when the
// caller asked for a trace: the address connected to and the outcome, each
// command sent (credentials replaced by "<credentials hidden>"), each reply
// line as received, the TLS outcome, "<message: N bytes>" for the message
// and the token fetch. One event is one line of text.
//
// The request driver gives the sink (it turns events into informational
// messages for the client); without a trace the mail has none and nothing
// is formatted. Event text may hold server bytes: the sink makes it
// printable and bounds it. No caller passes a secret: a password, a token,
// a client secret or their base64 never reaches a sink.
#ifndef MAILVANE_MAIL_TRACE_SINK_H
#define MAILVANE_MAIL_TRACE_SINK_H

#include <string_view>

class CTraceSink {
 public:
  virtual ~CTraceSink() = default;
  virtual void Trace(std::string_view event) = 0;
};

// Reports event when there is a sink; does nothing otherwise.
inline void TraceEvent(CTraceSink *sink, std::string_view event) {
  if (sink != nullptr) sink->Trace(event);
}

#endif
