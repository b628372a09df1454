// CAddressList: the addresses of one name resolution, in the resolver's
// order.
//
// Resolve runs the platform's resolver (smtp/resolver.h) and copies each
// entry (family, socket type, protocol, address) into the list, passing
// over one without an address or with one larger than kMaxSocketAddress,
// and those beyond the first kMaxAddresses; the platform's chain is
// released before Resolve returns, and any earlier list is dropped first.
// Add appends the entries of another list, so that a caller can try the
// addresses of several resolutions in one Connect, or one entry built by
// hand. The host text is untrusted and goes only to the resolver.
//
// Given a cancel probe, a host that is no address literal is resolved on a
// thread of its own while the caller asks the probe every kCancelSliceMs
// (the platform's resolver cannot be interrupted, and may wait on a name
// server for many seconds). A yes returns ResolverCancelled() at once; the
// thread then finishes alone, with the query, the entries and the result
// it shares with the caller by reference count, never the caller's
// memory. Without a thread from the system, or without a probe, it runs
// on the caller's thread.
#ifndef MAILVANE_SMTP_ADDRESS_LIST_H
#define MAILVANE_SMTP_ADDRESS_LIST_H

#include <cstddef>
#include <string>
#include <vector>

#include "mail/cancel_probe.h"
#include "smtp/resolver.h"

// Room for any socket address: the size of sockaddr_storage on every
// platform we build for.
inline constexpr std::size_t kMaxSocketAddress = 128;

// The most addresses kept of one resolution: each is given the connect's
// limit (10 s by default), so far more than a connect ever gets through;
// a bound known in advance lets the copy be made without allocating.
inline constexpr std::size_t kMaxAddresses = 64;

struct CAddressEntry {
  int family = 0;
  int socketType = 0;
  int protocol = 0;
  std::size_t length = 0;
  alignas(8) unsigned char address[kMaxSocketAddress] = {};
};

// The address and port in numeric form, as a trace shows them:
// "192.0.2.1 port 25", "2001:db8::1 port 25".
std::string AddressText(const CAddressEntry &entry);

class CAddressList {
 public:
  // port is formatted in decimal as the service name; a null host counts
  // as empty, and host is a name of source (charset/system_name.h).
  // Returns 0, or the resolver's error code (the list is then empty;
  // ResolverOutOfMemory when the copy ran out of memory).
  int Resolve(const char *host, int port, int flags, int family, int socketType, int protocol,
              TextSource source = TextSource::kThreadCodePage, CCancelProbe *cancel = nullptr);
  void Add(const CAddressList &other);
  void Add(const CAddressEntry &entry) { m_entries.push_back(entry); }

  std::size_t Count() const { return m_entries.size(); }
  const CAddressEntry &At(std::size_t i) const { return m_entries[i]; }
  void Clear() { m_entries.clear(); }

 private:
  std::vector<CAddressEntry> m_entries;
};

#endif
