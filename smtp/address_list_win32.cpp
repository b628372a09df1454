// Name resolution with getaddrinfo, and addresses as text with getnameinfo.
#include "smtp/address_list.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

int AddressFamilyUnspecified() { return AF_UNSPEC; }
int SocketTypeStream() { return SOCK_STREAM; }

int CAddressList::Resolve(const char *host, int port, int flags, int family, int socketType,
                          int protocol) {
  m_entries.clear();
  // Enough for any int in decimal with its sign and the NUL.
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);

  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_flags = flags;
  hints.ai_family = family;
  hints.ai_socktype = socketType;
  hints.ai_protocol = protocol;
  addrinfo *chain = nullptr;
  int result = getaddrinfo(host != nullptr ? host : "", service, &hints, &chain);
  if (result != 0) return result;
  try {
    for (const addrinfo *a = chain; a != nullptr; a = a->ai_next) {
      if (a->ai_addr == nullptr || a->ai_addrlen > kMaxSocketAddress) continue;
      CAddressEntry entry;
      entry.family = a->ai_family;
      entry.socketType = a->ai_socktype;
      entry.protocol = a->ai_protocol;
      entry.length = a->ai_addrlen;
      std::memcpy(entry.address, a->ai_addr, a->ai_addrlen);
      m_entries.push_back(entry);
    }
  } catch (const std::bad_alloc &) {
    m_entries.clear();
    result = WSA_NOT_ENOUGH_MEMORY;
  }
  freeaddrinfo(chain);
  return result;
}

std::string AddressText(const CAddressEntry &entry) {
  char host[NI_MAXHOST];
  char service[NI_MAXSERV];
  if (getnameinfo(reinterpret_cast<const sockaddr *>(entry.address),
                  static_cast<socklen_t>(entry.length), host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "an address of family " + std::to_string(entry.family);
  return std::string(host) + " port " + service;
}
