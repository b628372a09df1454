#include "proc/ods_calls.h"

#include <srv.h>

namespace {

// The message every failure carries: a client tells failures apart by text.
constexpr DBINT kMessageNumber = 20001;
constexpr BYTE kMessageState = 1;

// The trace's messages: a number of their own, class 0 (informational).
constexpr DBINT kTraceNumber = 20002;
constexpr BYTE kTraceClass = 0;
constexpr USHORT kTraceLine = 0;

}  // namespace

void ReplyFailure(CXPData *srvproc, int line, const char *text, int severity) {
  srv_sendmsg(srvproc, SRV_MSG_ERROR, kMessageNumber, static_cast<BYTE>(severity), kMessageState,
              nullptr, 0, static_cast<USHORT>(line), const_cast<char *>(text), SRV_NULLTERM);
  srv_senddone(srvproc, static_cast<USHORT>(SRV_DONE_MORE | SRV_DONE_ERROR), 0, 0);
}

void ReplyInfo(CXPData *srvproc, const char *text, int length) {
  srv_sendmsg(srvproc, SRV_MSG_INFO, kTraceNumber, kTraceClass, kMessageState, nullptr, 0,
              kTraceLine, const_cast<char *>(text), length);
}

void ReplySuccess(CXPData *srvproc) {
  srv_senddone(srvproc, static_cast<USHORT>(SRV_DONE_MORE | SRV_DONE_COUNT), 0, 1);
}

bool AttentionRaised(CXPData *srvproc) { return srv_got_attention(srvproc) != 0; }

void ReplyDone(CXPData *srvproc) { srv_senddone(srvproc, SRV_DONE_MORE, 0, 0); }

std::string ClientLogin(CXPData *srvproc) {
  int length = 0;
  const char *login = srv_pfield(srvproc, SRV_USER, &length);
  if (login == nullptr || length <= 0) return std::string();
  return std::string(login, static_cast<std::size_t>(length));
}
