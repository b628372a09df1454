// POSIX sockets need no start; the flag only records that Startup ran.
#include "smtp/winsock_init.h"

namespace {

CWinsockInit g_winsock;

}  // namespace

CWinsockInit::CWinsockInit() { Startup(); }
CWinsockInit::~CWinsockInit() = default;

bool CWinsockInit::Startup(int *error) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_started = true;
  if (error != nullptr) *error = 0;
  return true;
}

CWinsockInit &TheWinsockInit() { return g_winsock; }
