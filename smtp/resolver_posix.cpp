// The resolver on POSIX: getaddrinfo of <netdb.h>.
#include "smtp/resolver.h"

#include <netdb.h>
#include <sys/socket.h>

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return EAI_MEMORY; }

int RunResolver(const char *host, const char *service, const CResolverHints &hints,
                CResolvedSink &sink) {
  return WalkResolver<addrinfo>(getaddrinfo, freeaddrinfo, host, service, hints, sink);
}
