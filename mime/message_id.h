// The Message-ID of a message (RFC 5322 section 3.6.4): `<left@right>`,
// both sides dot-atom-text.
//
// The right side is the domain of the sender address, which is what
// receivers check the identifier against; when the address has no domain
// that is a dot-atom (none, or an address literal), the host name; when
// that is no dot-atom either, "localhost". The left side is unique across
// threads, processes, machines and restarts: the time in milliseconds, the
// process id, a per-process counter and 64 bits from the platform's secure
// generator (secure_random.h), in hexadecimal joined by ".". The counter
// is the one piece of state that calls of the procedure share: an atomic,
// so concurrent calls never take the same value.
#ifndef MAILVANE_MIME_MESSAGE_ID_H
#define MAILVANE_MIME_MESSAGE_ID_H

#include <cstdint>
#include <string>

// True for dot-atom-text (RFC 5322 3.2.3): atoms of atext joined by single
// dots, no dot at either end.
bool IsDotAtomText(const std::string &text);

// The right side for a sender address and the host name.
std::string MessageIdRight(const std::string &sender, const std::string &host);

// A new left side; false when the secure generator fails, with its
// platform error in *error.
bool MakeMessageIdLeft(std::string &left, std::int32_t *error);

#endif
