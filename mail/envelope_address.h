// Which bytes an address may hold. Addresses travel raw in MAIL FROM and
// RCPT TO and between angle brackets in the From, To and CC lines; SMTP
// without extensions and the message header carry 7-bit text only, and no
// encoding exists for an address there. So an address with a control byte
// (CR, LF and NUL among them: they would end the command or header line
// and let the caller add lines of their own) or a byte above 0x7E is
// refused, never sent.
//
// An address that is empty, or that holds a blank, "<", ">" or ",", is
// not one address: it is what is left of an entry the list syntax could
// not take apart (a name without an address, two addresses run together).
// A server would refuse the empty forward-path or read the rest as more
// recipients; such an entry is refused before anything is sent.
#ifndef MAILVANE_MAIL_ENVELOPE_ADDRESS_H
#define MAILVANE_MAIL_ENVELOPE_ADDRESS_H

#include <string>

// True when every byte of the address is printable ASCII or a space.
inline bool IsSendableAddress(const std::string &address) {
  for (char c : address) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) return false;
  }
  return true;
}

// True when the address is one address: not empty, and without blank, "<",
// ">" or ",".
inline bool IsSingleAddress(const std::string &address) {
  if (address.empty()) return false;
  for (char c : address)
    if (c == ' ' || (c >= '\t' && c <= '\r') || c == '<' || c == '>' || c == ',') return false;
  return true;
}

#endif
