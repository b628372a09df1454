// CCallReport: what a call returns beside its result, its one message and
// its DONE: the severity of the failure message ("@raise") and the OUTPUT
// parameters "@message_id", "@server_reply" and "@error".
//
// Prepare reads both from the call's listing as soon as it is made, so
// that every failure after it, the usage text included, goes out with the
// severity asked for. "@raise" with any value but 'no' (without case), the
// empty value or NULL asks for severity 16: a value the option table
// refuses is refused with severity 16 too, as its caller wanted failures
// to fail.
//
// The OUTPUT parameters are found by name only, and only those the caller
// passed as OUTPUT (srv_paramstatus) are set, on success and on failure
// alike (srv_paramsetoutput): "@message_id" the Message-ID the mail
// carries, without angle brackets, NULL when none was made; "@server_reply"
// the server's last reply line (the 250 to the end of data on success, the
// refusing reply on failure), printable and bounded as a trace line, NULL
// when the send ended without one or never started; "@error" the failure
// text, NULL on success. A value goes to its variable as the variable's
// type takes it: nvarchar and nchar get UTF-16, varchar and char the bytes
// of the text (the thread code page, as messages are sent); a value
// longer than the variable is cut to fit, between characters. A variable
// of another type is left as it was. Nothing here fails the call:
// SetOutputs never throws, and a value that cannot be set is left out.
// Kept apart from the mail, as ods_calls.h is, so that <srv.h> never meets
// the mail's headers.
#ifndef MAILVANE_PROC_CALL_REPORT_H
#define MAILVANE_PROC_CALL_REPORT_H

#include <cstdint>
#include <string>
#include <vector>

struct CXPData;
class CXpParams;

// Appends the names of the OUTPUT parameters.
void AppendOutputParamNames(std::vector<const char *> &names);

class CCallReport {
 public:
  // Throws std::bad_alloc.
  void Prepare(CXPData *srvproc, const CXpParams &params);

  // The class of the failure message (ods_calls.h).
  int Severity() const;

  // Sets the OUTPUT parameters the caller passed, from the mail's
  // Message-ID and the server's last reply (mail/send_outcome.h), each
  // empty when there is none; error is the failure text, null on success.
  void SetOutputs(CXPData *srvproc, const std::string &messageId, const std::string &serverReply,
                  const char *error) const noexcept;

 private:
  // A variable passed as OUTPUT; position 0 when none was.
  struct CTarget {
    int position = 0;
    int type = 0;
    std::uint32_t maxLength = 0;
  };
  static constexpr int kOutputCount = 3;

  void Set(CXPData *srvproc, const CTarget &target, const std::string *text) const;

  bool m_raise = false;
  CTarget m_targets[kOutputCount];
};

#endif
