#include "host/xpexec/runner.h"

#include <atomic>
#include <exception>
#include <vector>

#include "charset/threads.h"
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

}  // namespace

bool RunCall(const PreparedCall &call, CallRecord *record, const std::string &login) {
  OpenCall open;
  if (open.get() == nullptr) return false;
  if (!login.empty() && standin_set_login(open.get(), login.c_str()) == 0) return false;
  for (const Parameter &p : call.parameters) {
    if (standin_add_param(open.get(), p.name.c_str(), p.type,
                          p.data.empty() ? nullptr : p.data.data(), p.data.size(),
                          p.is_null ? 1 : 0) == 0)
      return false;
  }
  record->return_value = call.entry(open.get());
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
        bool ran = RunCall(call, &record, options.login);
        if (!ran || record.return_value != 0) any_failed = true;
        std::string text = ran ? FormatCall(record, options.style)
                               : std::string("xpexec: cannot open a call: out of memory\n");
        CLockHold hold(output_lock);
        (ran ? sink : error_sink)(text);
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
