// The resolver on Windows: WinSock's GetAddrInfoW, which takes the name as
// UTF-16 (a name beyond ASCII as the system's IDN rules have it), and
// getnameinfo.
#include "smtp/resolver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "charset/system_name.h"

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int ResolverNumericHost() { return AI_NUMERICHOST; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return WSA_NOT_ENOUGH_MEMORY; }
int ResolverCancelled() { return WSAECANCELLED; }

int PrepareResolverQuery(const char *host, TextSource source, const char *service,
                         const CResolverHints &hints, CResolverQuery &query) {
  // A text with no UTF-16 form names no host.
  if (!WideName(host, source, query.wideHost) ||
      !WideName(service, TextSource::kUtf8, query.wideService))
    return WSAHOST_NOT_FOUND;
  query.hints = hints;
  return 0;
}

namespace {

// The version every WinSock call of the procedure is written for.
constexpr WORD kWinsockVersion = MAKEWORD(2, 0);

// WinSock started for one resolution: on a thread of its own it may
// outlive the connection that started WinSock for the call, whose close
// stops it.
class CWinsockHold {
 public:
  CWinsockHold() {
    WSADATA data;
    m_started = WSAStartup(kWinsockVersion, &data) == 0;
  }
  ~CWinsockHold() {
    if (m_started) WSACleanup();
  }
  CWinsockHold(const CWinsockHold &) = delete;
  CWinsockHold &operator=(const CWinsockHold &) = delete;

 private:
  bool m_started = false;
};

}  // namespace

int RunResolver(const CResolverQuery &query, CResolvedSink &sink) {
  CWinsockHold winsock;
  return WalkResolver<ADDRINFOW>(
      GetAddrInfoW, FreeAddrInfoW, reinterpret_cast<const wchar_t *>(query.wideHost.c_str()),
      reinterpret_cast<const wchar_t *>(query.wideService.c_str()), query.hints, sink);
}

bool NumericAddress(const void *address, std::size_t length, std::string *host,
                    std::string *port) {
  return NumericAddressWith<sockaddr, socklen_t>(getnameinfo, NI_NUMERICHOST | NI_NUMERICSERV,
                                                 address, length, host, port);
}
