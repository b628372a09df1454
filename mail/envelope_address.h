// Which bytes an address may hold, and what makes it one address.
// Addresses travel raw in MAIL FROM and RCPT TO and between angle brackets
// in the From, To and CC lines; SMTP without extensions and the message
// header carry 7-bit text only, and no encoding exists for an address
// there. So an address with a control byte (CR, LF and NUL among them:
// they would end the command or header line and let the caller add lines
// of their own) or a byte above 0x7E is refused, never sent.
//
// An address is a mailbox, local@domain (RFC 5321 section 4.1.2); only
// "Postmaster", in any case, may stand without a domain (section 4.1.1.3).
// An address that is empty, has no "@", or holds a blank, "<", ">" or ","
// is not one address: it is what is left of an entry the list syntax could
// not take apart (a name without an address, two addresses run together),
// or a name a server would complete with a domain of its own and deliver
// to someone else. Such an entry is refused before anything is sent.
#ifndef MAILVANE_MAIL_ENVELOPE_ADDRESS_H
#define MAILVANE_MAIL_ENVELOPE_ADDRESS_H

#include <string>
#include <string_view>

#include "charset/ascii_case.h"

// The one mailbox that needs no domain.
inline constexpr std::string_view kPostmaster = "postmaster";

// True when every byte of the address is printable ASCII or a space.
inline bool IsSendableAddress(const std::string &address) {
  for (char c : address) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) return false;
  }
  return true;
}

// True when the address is one address: an "@" (or "Postmaster" alone),
// and no blank, "<", ">" or ",".
inline bool IsSingleAddress(const std::string &address) {
  if (address.find('@') == std::string::npos && !SameAsciiText(address, kPostmaster)) return false;
  for (char c : address)
    if (c == ' ' || (c >= '\t' && c <= '\r') || c == '<' || c == '>' || c == ',') return false;
  return true;
}

#endif
