// The resolver on Windows: WinSock's GetAddrInfoW, which takes the name as
// UTF-16 (a name beyond ASCII as the system's IDN rules have it), and
// getnameinfo.
#include "smtp/resolver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "charset/system_name.h"

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return WSA_NOT_ENOUGH_MEMORY; }

int RunResolver(const char *host, TextSource source, const char *service,
                const CResolverHints &hints, CResolvedSink &sink) {
  std::u16string name;
  std::u16string port;
  // A text with no UTF-16 form names no host.
  if (!WideName(host, source, name) || !WideName(service, TextSource::kUtf8, port))
    return WSAHOST_NOT_FOUND;
  return WalkResolver<ADDRINFOW>(GetAddrInfoW, FreeAddrInfoW,
                                 reinterpret_cast<const wchar_t *>(name.c_str()),
                                 reinterpret_cast<const wchar_t *>(port.c_str()), hints, sink);
}

bool NumericAddress(const void *address, std::size_t length, std::string *host,
                    std::string *port) {
  return NumericAddressWith<sockaddr, socklen_t>(getnameinfo, NI_NUMERICHOST | NI_NUMERICSERV,
                                                 address, length, host, port);
}
