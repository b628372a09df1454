// The functions SQL Server calls: the version of the interface, and the two
// procedures, mailvane and mailvane_profile. No exception may leave them: it would
// take the server process down.
#include <cstdint>

#include "proc/entry_scope.h"
#include "proc/profile_admin.h"
#include "proc/request_driver.h"

namespace {
// Extended-procedure interface 7.0: major version in the top byte.
constexpr std::uint32_t kXpVersion = 0x07000000;

// One call of a procedure: 0 when run says it did its work, 1 otherwise.
// The exception state of the call is on its stack (entry_scope.h); without
// it the call throws nothing and only reports.
int RunEntry(CXPData *srvproc, bool (*run)(CXPData *)) {
  CEntryScope scope;
  if (!scope.Ready()) {
    ReplyUnknownFailure(srvproc);
    return 1;
  }
  try {
    return run(srvproc) ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint32_t __GetXpVersion() { return kXpVersion; }

// 0 when the mail was sent, 1 otherwise; the client already has the report.
__attribute__((visibility("default"))) int mailvane(CXPData *srvproc) {
  return RunEntry(srvproc, RunRequest);
}

// The administration of the profile store: 0 when it did what it was
// asked, 1 otherwise.
__attribute__((visibility("default"))) int mailvane_profile(CXPData *srvproc) {
  return RunEntry(srvproc, RunProfileAdmin);
}

}  // extern "C"
