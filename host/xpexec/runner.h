// Running prepared calls against the procedure, as SQL Server runs an
// extended procedure: each call gets its own SRV_PROC from the stand-in
// ODS library with the statement's parameters, the procedure runs on it,
// and the tokens it sent are read back before the call is closed.
//
// RunAll runs the whole list of calls on `threads` threads at once,
// `repeat` times on each, and hands each call's formatted output to the
// sink in one piece, one call at a time (the sink is never entered by two
// threads at once), so outputs never interleave. On one thread the calls
// run and report in statement order. It returns the exit status: 0 when
// every call returned 0, 1 otherwise (also when the stand-in could not
// open a call, which only a lack of memory causes).
//
// With cancel_after_ms, each call's attention is raised that many
// milliseconds after it started (attention_timer.h), and its record tells
// how long the procedure took to return after that.
#ifndef MAILVANE_HOST_XPEXEC_RUNNER_H
#define MAILVANE_HOST_XPEXEC_RUNNER_H

#include <functional>
#include <string>
#include <vector>

#include "host/xpexec/call_record.h"
#include "host/xpexec/output_format.h"
#include "host/xpexec/parameter_encoding.h"
#include "host/xpexec/procedure_library.h"

namespace xpexec {

struct PreparedCall {
  ProcedureEntry entry = nullptr;
  std::vector<Parameter> parameters;
};

// No attention is raised.
inline constexpr int kNoCancel = -1;

struct RunOptions {
  int threads = 1;
  int repeat = 1;
  OutputStyle style = OutputStyle::kHuman;
  int cancel_after_ms = kNoCancel;
  std::string login;  // the client's login; "" for the stand-in's own ("sa")
};

// Runs one call as login ("" for the stand-in's default); false when the
// stand-in could not open it (no call made).
bool RunCall(const PreparedCall &call, CallRecord *record, int cancel_after_ms = kNoCancel,
             const std::string &login = "");

using OutputSink = std::function<void(const std::string &)>;

int RunAll(const std::vector<PreparedCall> &calls, const RunOptions &options,
           const OutputSink &sink, const OutputSink &error_sink);

}  // namespace xpexec

#endif
