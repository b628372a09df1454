// The name the client gives in HELO and EHLO, the same for both and for
// the EHLO after STARTTLS.
//
// RFC 5321 section 4.1.1.1 asks for the client's fully-qualified domain
// name, or an address literal when it has none; relays commonly refuse
// anything else (a short name such as the one Windows gives a computer by
// default). So the host's name is sent only when it holds a dot and is a
// Domain of section 4.1.2 within the limits of section 4.5.3.1.2;
// otherwise the literal of section 4.1.3 of the connection's own address,
// which is always acceptable and is the address the server sees.
//
// The host name comes from the machine's configuration and is untrusted:
// nothing of it is sent unless the whole name passes, so no byte outside
// letters, digits, hyphens and dots reaches a command.
#ifndef MAILVANE_SMTP_GREETING_NAME_H
#define MAILVANE_SMTP_GREETING_NAME_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "smtp/socket_calls.h"

// 255: the longest domain name, RFC 5321 section 4.5.3.1.2. Every literal
// is shorter, so "EHLO " with any greeting name fits a command.
inline constexpr std::size_t kMaxGreetingName = 255;

// name is a fully-qualified Domain that may be sent as it is.
bool IsFullyQualifiedDomain(const std::string &name);

// "[192.0.2.10]" or "[IPv6:2001:db8::1]" (RFC 5321 section 4.1.3); an
// IPv4 address that an IPv6 socket carries is given in its IPv4 form, as
// the server sees it. Empty for kNone.
std::string AddressLiteral(const CHostAddress &address);

// hostName when it is fully qualified, otherwise the literal of local
// (empty when local is kNone).
std::string GreetingName(const std::string &hostName, const CHostAddress &local);

// The greeting name of the connection on socket, from the host name and
// the socket's local address that calls give. False when there is neither
// a fully-qualified name nor a local address; *error is then the local
// address call's error code.
bool ChooseGreetingName(CSocketCalls &calls, std::intptr_t socket, std::string *name,
                        int *error);

#endif
