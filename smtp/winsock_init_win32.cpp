// WinSock 2.0, started once per process and cleaned up at unload.
#include "smtp/winsock_init.h"

#include <winsock2.h>

namespace {

// The version the procedure was written for; every call it makes is in 2.0.
constexpr WORD kWinsockVersion = MAKEWORD(2, 0);

// Constructed when the library loads, destroyed when it unloads.
CWinsockInit g_winsock;

}  // namespace

CWinsockInit::CWinsockInit() { Startup(); }

CWinsockInit::~CWinsockInit() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_started && WSACleanup() == 0) m_started = false;
}

bool CWinsockInit::Startup(int *error) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (error != nullptr) *error = 0;
  if (m_started) return true;
  WSADATA data;
  int result = WSAStartup(kWinsockVersion, &data);
  if (result != 0) {
    if (error != nullptr) *error = result;
    return false;
  }
  m_started = true;
  return true;
}

CWinsockInit &TheWinsockInit() { return g_winsock; }
