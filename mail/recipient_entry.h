// The syntax of a recipient list and of its entries, and the text of an
// entry that is refused.
//
// A list is cut into entries at every ";" and at every "," that stands
// outside a quoted string, angle brackets or an encoded word, except a ","
// after a piece that holds no "@" and no "<": an address has an "@", so
// such a piece is part of the display name of the entry after it
// (`Lee, Ann <ann@example.com>` is one entry, the name `Lee, Ann`). A
// piece of blanks only, and "Postmaster" alone (the one address without
// "@", envelope_address.h), are entries of their own. An entry is one of:
//   - `address`, a bare address;
//   - `<display name> address`, the form this procedure has always taken;
//   - `display name <address>` or `<address>`, the form of RFC 5322: angle
//     brackets followed by nothing but blanks. A display name written as
//     a quoted string loses its quotes and backslash escapes.
// Entries, names and addresses are trimmed of blanks (a line break inside
// an entry refuses it, recipients.cpp). Lists and entries are caller
// text in the system's ANSI code page or UTF-8, scanned character by
// character with the lead bytes of their source (multibyte_text.h,
// lead_byte.h); nothing here checks an address, see envelope_address.h.
#ifndef MAILVANE_MAIL_RECIPIENT_ENTRY_H
#define MAILVANE_MAIL_RECIPIENT_ENTRY_H

#include <cstddef>
#include <string>

#include "charset/lead_byte.h"

// In a piece of a list between two ";" (which always separate, so a piece
// holds none), the position of the first "," at or after from (a
// character boundary, where an entry starts) that separates entries, or
// std::string::npos.
std::size_t FindEntryComma(const std::string &piece, std::size_t from, const CLeadBytes &lead);

// Splits an entry into its address and display name. False, with nothing
// stored, when its angle brackets are malformed (only "<", only ">", or
// ">" first); a field the entry gives no value keeps what it held.
bool SplitEntry(const std::string &entry, std::string &address, std::string &name,
                const CLeadBytes &lead);

// An entry as a refusal quotes it: at most its first kQuotedEntryLength
// bytes, cut between characters, "..." marking the cut.
inline constexpr std::size_t kQuotedEntryLength = 200;
std::string EntryToQuote(const std::string &entry, const CLeadBytes &lead);

// The text that refuses an entry of the parameter param whose address is
// not one address (envelope_address.h): `Invalid address in <param>:
// "<entry>"`.
std::string RefusedEntryText(const char *param, const std::string &entry);

#endif
