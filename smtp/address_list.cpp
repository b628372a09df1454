#include "smtp/address_list.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// Enough for any int in decimal with its sign and the NUL.
constexpr std::size_t kServiceText = 16;

// Keeps each entry that has an address and whose address fits.
class CEntryCopy : public CResolvedSink {
 public:
  explicit CEntryCopy(CAddressList &list) : m_list(list) {}
  void Take(const CResolvedEntry &found) override {
    if (found.address == nullptr || found.length > kMaxSocketAddress) return;
    CAddressEntry entry;
    entry.family = found.family;
    entry.socketType = found.socketType;
    entry.protocol = found.protocol;
    entry.length = found.length;
    std::memcpy(entry.address, found.address, found.length);
    m_list.Add(entry);
  }

 private:
  CAddressList &m_list;
};

}  // namespace

int CAddressList::Resolve(const char *host, int port, int flags, int family, int socketType,
                          int protocol, TextSource source) {
  m_entries.clear();
  char service[kServiceText];
  std::snprintf(service, sizeof service, "%d", port);
  CResolverHints hints;
  hints.flags = flags;
  hints.family = family;
  hints.socketType = socketType;
  hints.protocol = protocol;
  CEntryCopy copy(*this);
  try {
    return RunResolver(host != nullptr ? host : "", source, service, hints, copy);
  } catch (const std::bad_alloc &) {
    m_entries.clear();
    return ResolverOutOfMemory();
  }
}

void CAddressList::Add(const CAddressList &other) {
  m_entries.insert(m_entries.end(), other.m_entries.begin(), other.m_entries.end());
}

std::string AddressText(const CAddressEntry &entry) {
  std::string host;
  std::string port;
  if (!NumericAddress(entry.address, entry.length, &host, &port))
    return "an address of family " + std::to_string(entry.family);
  return host + " port " + port;
}
