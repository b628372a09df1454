// The resolver on Windows: WinSock's getaddrinfo.
#include "smtp/resolver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return WSA_NOT_ENOUGH_MEMORY; }

int RunResolver(const char *host, const char *service, const CResolverHints &hints,
                CResolvedSink &sink) {
  return WalkResolver<addrinfo>(getaddrinfo, freeaddrinfo, host, service, hints, sink);
}
