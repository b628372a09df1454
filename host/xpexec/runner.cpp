#include "host/xpexec/runner.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <vector>

#include "charset/threads.h"
#include "host/xpexec/attention_timer.h"
#include "host/ods_standin.h"

namespace xpexec {
namespace {

// Closes the stand-in call however the scope is left.
class OpenCall {
 public:
  OpenCall() : call_(standin_open()) {}
  ~OpenCall() {
    if (call_ != nullptr) standin_close(call_);
  }
  OpenCall(const OpenCall &) = delete;
  OpenCall &operator=(const OpenCall &) = delete;
  CXPData *get() const { return call_; }

 private:
  CXPData *call_;
};

ReceivedToken CopyToken(const StandinToken &t) {
  ReceivedToken r;
  r.kind = t.kind;
  r.msgtype = t.msgtype;
  r.number = t.number;
  r.msgclass = t.msgclass;
  r.state = t.state;
  r.line = t.line;
  if (t.text != nullptr) r.text.assign(t.text, t.text_length);
  r.status = t.status;
  r.curcmd = t.curcmd;
  r.count = t.count;
  for (size_t i = 0; i < t.column_count; ++i) {
    const StandinColumn &c = t.columns[i];
    r.columns.push_back({std::string(c.name, c.name_length), c.type,
                         std::string(c.data, c.length), c.is_null != 0});
  }
  return r;
}

// The values the OUTPUT variables hold after the call.
std::vector<ReturnedValue> ReadOutputs(const CXPData *call, const std::vector<Parameter> &params) {
  std::vector<ReturnedValue> outputs;
  for (size_t i = 0; i < params.size(); ++i) {
    if (!params[i].output) continue;
    ReturnedValue value;
    value.variable = params[i].variable;
    value.type = params[i].type;
    const char *data = nullptr;
    size_t length = 0;
    int is_null = 1;
    if (standin_param_value(call, static_cast<int>(i + 1), &data, &length, &is_null) != 0) {
      value.data.assign(data, length);
      value.is_null = is_null != 0;
    }
    outputs.push_back(std::move(value));
  }
  return outputs;
}

long long MillisecondsBetween(CAttentionTimer::Clock::time_point from,
                              CAttentionTimer::Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

}  // namespace

bool RunCall(const PreparedCall &call, CallRecord *record, int cancel_after_ms,
             const std::string &login) {
  OpenCall open;
  if (open.get() == nullptr) return false;
  if (!login.empty() && standin_set_login(open.get(), login.c_str()) == 0) return false;
  for (const Parameter &p : call.parameters) {
    const int added =
        p.output ? standin_add_output_param(open.get(), p.name.c_str(), p.type, p.max_length)
                 : standin_add_param_sized(open.get(), p.name.c_str(), p.type, p.max_length,
                                           p.data.empty() ? nullptr : p.data.data(),
                                           p.data.size(), p.is_null ? 1 : 0);
    if (added == 0) return false;
  }
  CAttentionTimer timer;
  const CAttentionTimer::Clock::time_point started = CAttentionTimer::Clock::now();
  if (cancel_after_ms != kNoCancel) timer.Start(open.get(), cancel_after_ms, started);
  record->return_value = call.entry(open.get());
  const CAttentionTimer::Clock::time_point returned = CAttentionTimer::Clock::now();
  timer.Stop();
  record->attention = timer.Raised();
  if (record->attention) {
    record->attention_after_ms = MillisecondsBetween(started, timer.RaisedAt());
    record->returned_ms = MillisecondsBetween(timer.RaisedAt(), returned);
  }
  record->outputs = ReadOutputs(open.get(), call.parameters);
  record->tokens.clear();
  size_t count = standin_token_count(open.get());
  for (size_t i = 0; i < count; ++i) {
    const StandinToken *t = standin_token(open.get(), i);
    if (t != nullptr) record->tokens.push_back(CopyToken(*t));
  }
  return true;
}

int RunAll(const std::vector<PreparedCall> &calls, const RunOptions &options,
           const OutputSink &sink, const OutputSink &error_sink) {
  CLock output_lock;
  std::atomic<bool> any_failed{false};
  const auto run_calls = [&]() {
    for (int round = 0; round < options.repeat; ++round) {
      for (const PreparedCall &call : calls) {
        CallRecord record;
        bool ran = RunCall(call, &record, options.cancel_after_ms, options.login);
        if (!ran || record.return_value != 0) any_failed = true;
        std::string text = ran ? FormatCall(record, options.style)
                               : std::string("xpexec: cannot open a call: out of memory\n");
        CLockHold hold(output_lock);
        (ran ? sink : error_sink)(text);
        if (ran && record.attention && options.style == OutputStyle::kHuman)
          error_sink(FormatAttention(record));
      }
    }
  };
  // Nothing may leave a thread's function: it would end the process with
  // other threads' outputs unwritten.
  const auto run_thread = [&]() {
    try {
      run_calls();
    } catch (const std::exception &e) {
      any_failed = true;
      CLockHold hold(output_lock);
      error_sink(std::string("xpexec: ") + e.what() + "\n");
    }
  };
  if (options.threads <= 1) {
    run_thread();
  } else {
    std::vector<CThread> threads(static_cast<size_t>(options.threads));
    for (int i = 0; i < options.threads; ++i) {
      if (!threads[static_cast<size_t>(i)].Start(run_thread)) {
        // The system gave no more threads: the ones started still finish.
        any_failed = true;
        CLockHold hold(output_lock);
        error_sink("xpexec: cannot start thread " + std::to_string(i + 1) + "\n");
        break;
      }
    }
    for (CThread &t : threads) t.Join();
  }
  return any_failed ? 1 : 0;
}

}  // namespace xpexec
