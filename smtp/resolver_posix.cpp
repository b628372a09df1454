// The resolver on POSIX: getaddrinfo and getnameinfo of <netdb.h>.
#include "smtp/resolver.h"

#include <netdb.h>
#include <sys/socket.h>

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return EAI_MEMORY; }

// The host's bytes are the name, whatever its source.
int RunResolver(const char *host, TextSource, const char *service, const CResolverHints &hints,
                CResolvedSink &sink) {
  return WalkResolver<addrinfo>(getaddrinfo, freeaddrinfo, host, service, hints, sink);
}

bool NumericAddress(const void *address, std::size_t length, std::string *host,
                    std::string *port) {
  return NumericAddressWith<sockaddr, socklen_t>(getnameinfo, NI_NUMERICHOST | NI_NUMERICSERV,
                                                 address, length, host, port);
}
