// CClientTrace: the trace sink of a call with "@trace"='yes'. Each event
// becomes one informational message to the client, sent at once, so the
// events arrive in order before the call's own result.
//
// Events may hold server bytes: every byte outside printable ASCII is
// shown as "?" (a line break or a control byte never reaches the client
// raw) and an event is cut to kTraceLineLimit bytes, marked with "...".
#ifndef MAILVANE_PROC_CLIENT_TRACE_H
#define MAILVANE_PROC_CLIENT_TRACE_H

#include <string>
#include <string_view>

#include "mail/trace_sink.h"

struct CXPData;

// Longer than any command or reply line (1000 bytes with its CR LF).
inline constexpr std::size_t kTraceLineLimit = 1100;

// event as the client sees it: printable and bounded.
std::string PrintableTraceLine(std::string_view event);

// The first line of every trace, which build answers the call:
// "mailvane <version> (<x64|x86|linux>)".
std::string TraceHeadline();

class CClientTrace : public CTraceSink {
 public:
  explicit CClientTrace(CXPData *srvproc) : m_srvproc(srvproc) {}
  void Trace(std::string_view event) override;

 private:
  CXPData *m_srvproc;
};

#endif
