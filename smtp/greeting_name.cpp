#include "smtp/greeting_name.h"

#include <cstdio>

namespace {

// 63: the longest label, RFC 1035 section 2.3.4.
constexpr std::size_t kMaxLabel = 63;
// The eight 16-bit groups of an IPv6 address.
constexpr int kIpv6Groups = 8;
// ::ffff:0:0/96 holds IPv4 addresses on an IPv6 socket (RFC 4291 section
// 2.5.5.2): ten zero bytes, two 0xff, then the IPv4 address.
constexpr std::size_t kMappedPrefixZeros = 10;
constexpr std::size_t kMappedPrefix = 12;
// Room for "[IPv6:" and eight groups of four digits with their colons.
constexpr std::size_t kLiteralSize = 64;

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// sub-domain of RFC 5321 section 4.1.2: Let-dig [Ldh-str], that is letters,
// digits and hyphens, neither starting nor ending with a hyphen.
bool IsLabel(const std::string &name, std::size_t begin, std::size_t end) {
  if (end == begin || end - begin > kMaxLabel) return false;
  if (!IsLetterOrDigit(name[begin]) || !IsLetterOrDigit(name[end - 1])) return false;
  for (std::size_t i = begin; i < end; ++i)
    if (!IsLetterOrDigit(name[i]) && name[i] != '-') return false;
  return true;
}

bool IsMappedIpv4(const CHostAddress &address) {
  for (std::size_t i = 0; i < kMappedPrefixZeros; ++i)
    if (address.bytes[i] != 0) return false;
  return address.bytes[kMappedPrefixZeros] == 0xff && address.bytes[kMappedPrefixZeros + 1] == 0xff;
}

std::string Ipv4Literal(const unsigned char *bytes) {
  char text[kLiteralSize];
  std::snprintf(text, sizeof text, "[%u.%u.%u.%u]", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

// The text form of RFC 5952 section 4: groups in lower-case hex without
// leading zeros, the longest run of two or more zero groups (the first of
// equal runs) written as "::".
std::string Ipv6Literal(const unsigned char *bytes) {
  unsigned groups[kIpv6Groups];
  for (int i = 0; i < kIpv6Groups; ++i) groups[i] = (bytes[2 * i] << 8) | bytes[2 * i + 1];
  int bestStart = -1, bestLength = 1;
  for (int i = 0; i < kIpv6Groups;) {
    int j = i;
    while (j < kIpv6Groups && groups[j] == 0) ++j;
    if (j - i > bestLength) {
      bestStart = i;
      bestLength = j - i;
    }
    i = j > i ? j : i + 1;
  }
  std::string text = "[IPv6:";
  char group[sizeof "ffff"];
  for (int i = 0; i < kIpv6Groups; ++i) {
    if (i == bestStart) {
      text += "::";
      i += bestLength - 1;
      continue;
    }
    if (i > 0 && i != bestStart + bestLength) text += ':';
    std::snprintf(group, sizeof group, "%x", groups[i]);
    text += group;
  }
  return text + "]";
}

}  // namespace

bool IsFullyQualifiedDomain(const std::string &name) {
  if (name.empty() || name.size() > kMaxGreetingName) return false;
  std::size_t dots = 0, begin = 0, lastLabel = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '.') continue;
    if (!IsLabel(name, begin, i)) return false;
    lastLabel = begin;
    begin = i + 1;
    if (i < name.size()) ++dots;
  }
  if (dots == 0) return false;
  // A name never looks like a dotted-decimal address (RFC 1123 section
  // 2.1): its last label is not all digits.
  for (std::size_t i = lastLabel; i < name.size(); ++i)
    if (!IsDigit(name[i])) return true;
  return false;
}

std::string AddressLiteral(const CHostAddress &address) {
  switch (address.family) {
    case HostAddressFamily::kIpv4:
      return Ipv4Literal(address.bytes);
    case HostAddressFamily::kIpv6:
      if (IsMappedIpv4(address)) return Ipv4Literal(address.bytes + kMappedPrefix);
      return Ipv6Literal(address.bytes);
    case HostAddressFamily::kNone:
      break;
  }
  return std::string();
}

std::string GreetingName(const std::string &hostName, const CHostAddress &local) {
  return IsFullyQualifiedDomain(hostName) ? hostName : AddressLiteral(local);
}

bool ChooseGreetingName(CSocketCalls &calls, std::intptr_t socket, std::string *name,
                        int *error) {
  std::string host;
  int hostError = 0;
  if (!calls.GetHostName(&host, &hostError)) host.clear();
  CHostAddress local;
  *error = 0;
  if (!calls.GetLocalAddress(socket, &local, error)) local = CHostAddress();
  *name = GreetingName(host, local);
  return !name->empty();
}
