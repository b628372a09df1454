// The resolver on POSIX: getaddrinfo and getnameinfo of <netdb.h>.
#include "smtp/resolver.h"

#include <netdb.h>
#include <sys/socket.h>

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int ResolverNumericHost() { return AI_NUMERICHOST; }
int SocketTypeStream() { return SOCK_STREAM; }
int ResolverOutOfMemory() { return EAI_MEMORY; }
int ResolverCancelled() { return EAI_CANCELED; }

// The host's bytes are the name, whatever its source.
int PrepareResolverQuery(const char *host, TextSource, const char *service,
                         const CResolverHints &hints, CResolverQuery &query) {
  query.host = host;
  query.service = service;
  query.hints = hints;
  return 0;
}

int RunResolver(const CResolverQuery &query, CResolvedSink &sink) {
  return WalkResolver<addrinfo>(getaddrinfo, freeaddrinfo, query.host.c_str(),
                                query.service.c_str(), query.hints, sink);
}

bool NumericAddress(const void *address, std::size_t length, std::string *host,
                    std::string *port) {
  return NumericAddressWith<sockaddr, socklen_t>(getnameinfo, NI_NUMERICHOST | NI_NUMERICSERV,
                                                 address, length, host, port);
}
