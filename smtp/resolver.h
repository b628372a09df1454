// The platform's resolver (getaddrinfo): one call, its entries handed to a
// sink one at a time in the resolver's order. Only what differs per
// platform lives in resolver_posix.cpp and resolver_win32.cpp (the headers,
// the form of the name, the call and its codes); what is kept of an entry
// is the caller's (CAddressList).
//
// A query is prepared on the caller's thread, in the form the platform
// takes; running it allocates nothing of ours and throws nothing unless
// the sink does, so that it can run on a thread of its own. The platform's
// chain is released before RunResolver returns, also when the sink throws;
// an entry points into the chain and holds only during Take. The host text
// is untrusted and goes only to the resolver.
#ifndef MAILVANE_SMTP_RESOLVER_H
#define MAILVANE_SMTP_RESOLVER_H

#include <cstddef>
#include <memory>
#include <string>

#include "charset/text_source.h"

struct CResolverHints {
  int flags = 0;
  int family = 0;
  int socketType = 0;
  int protocol = 0;
};

// One entry as the resolver gave it; address is null when it has none.
struct CResolvedEntry {
  int family = 0;
  int socketType = 0;
  int protocol = 0;
  const void *address = nullptr;
  std::size_t length = 0;
};

class CResolvedSink {
 public:
  virtual void Take(const CResolvedEntry &entry) = 0;

 protected:
  ~CResolvedSink() = default;
};

// host and service as the platform's resolver takes them: the bytes on
// POSIX, the UTF-16 form on Windows (the other pair stays empty).
struct CResolverQuery {
  std::string host;
  std::string service;
  std::u16string wideHost;
  std::u16string wideService;
  CResolverHints hints;
};

// The query for host, a name of source (charset/system_name.h: Windows
// resolves its UTF-16 form with GetAddrInfoW, POSIX its bytes), and
// service (a port in decimal). Returns 0, or the resolver's error code for
// a name it cannot be given.
int PrepareResolverQuery(const char *host, TextSource source, const char *service,
                         const CResolverHints &hints, CResolverQuery &query);

// Resolves the query. Returns 0, or the resolver's error code (the sink
// then got nothing).
int RunResolver(const CResolverQuery &query, CResolvedSink &sink);

// The resolver's own codes for memory running out, and for a resolution
// abandoned because the call was cancelled.
int ResolverOutOfMemory();
int ResolverCancelled();

// The flag that makes the resolver take the host only as an address
// literal (AI_NUMERICHOST): it then answers at once, without a name server.
int ResolverNumericHost();

// Families and socket type as the resolver wants them.
int AddressFamilyUnspecified();
int SocketTypeStream();

// The numeric host and port of a socket address (getnameinfo); false when
// the platform cannot write it.
bool NumericAddress(const void *address, std::size_t length, std::string *host,
                    std::string *port);

// RunResolver on every platform, for the platform files only: their
// addrinfo types have the same fields in different layouts, so the call
// and the walk over the chain are written once, over the type.
template <typename AddrInfo, typename Char, typename Call, typename Release>
int WalkResolver(Call call, Release release, const Char *host, const Char *service,
                 const CResolverHints &hints, CResolvedSink &sink) {
  AddrInfo wanted{};
  wanted.ai_flags = hints.flags;
  wanted.ai_family = hints.family;
  wanted.ai_socktype = hints.socketType;
  wanted.ai_protocol = hints.protocol;
  AddrInfo *chain = nullptr;
  int result = call(host, service, &wanted, &chain);
  if (result != 0) return result;
  std::unique_ptr<AddrInfo, Release> held(chain, release);
  for (const AddrInfo *a = chain; a != nullptr; a = a->ai_next) {
    CResolvedEntry entry;
    entry.family = a->ai_family;
    entry.socketType = a->ai_socktype;
    entry.protocol = a->ai_protocol;
    entry.address = a->ai_addr;
    entry.length = static_cast<std::size_t>(a->ai_addrlen);
    sink.Take(entry);
  }
  return 0;
}

// NumericAddress on every platform, for the platform files: getnameinfo
// with numeric host and port, over the platform's socket address and
// length types. NI_MAXHOST and NI_MAXSERV of both platforms.
inline constexpr std::size_t kMaxNumericHost = 1025;
inline constexpr std::size_t kMaxNumericPort = 32;

template <typename SockAddr, typename Length, typename Call>
bool NumericAddressWith(Call call, int flags, const void *address, std::size_t length,
                        std::string *host, std::string *port) {
  char hostText[kMaxNumericHost];
  char portText[kMaxNumericPort];
  if (call(static_cast<const SockAddr *>(address), static_cast<Length>(length), hostText,
           sizeof hostText, portText, sizeof portText, flags) != 0)
    return false;
  *host = hostText;
  *port = portText;
  return true;
}

#endif
