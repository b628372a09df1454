#include "mail/recipient_entry.h"

#include "charset/ascii_case.h"
#include "mail/envelope_address.h"
#include "mail/multibyte_text.h"
#include "mime/encoded_word.h"

namespace {

constexpr char kCutMark[] = "...";
// The continuation bytes a UTF-8 character may have after its first.
constexpr int kLongestUtf8Tail = 3;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the character at i: 2 for a lead byte with a byte after
// it, else 1.
std::size_t CharacterAt(const std::string &text, std::size_t i, const CLeadBytes &lead) {
  return lead.IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// The position after the quoted string that opens at i, or npos when it
// is not closed.
std::size_t QuotedStringEnd(const std::string &text, std::size_t i, const CLeadBytes &lead) {
  for (++i; i < text.size();) {
    const char c = text[i];
    if (c == '"') return i + 1;
    std::size_t n = CharacterAt(text, i, lead);
    // A backslash makes the next character part of the string.
    if (n == 1 && c == '\\' && i + 1 < text.size()) n += CharacterAt(text, i + 1, lead);
    i += n;
  }
  return std::string::npos;
}

// The position of the first "<" that is not inside a quoted string, or npos.
std::size_t FindOpenOutsideQuotes(const std::string &entry, const CLeadBytes &lead) {
  for (std::size_t i = 0; i < entry.size();) {
    if (entry[i] == '<') return i;
    i = entry[i] == '"' ? QuotedStringEnd(entry, i, lead) : i + CharacterAt(entry, i, lead);
  }
  return std::string::npos;
}

bool BlanksOnly(const std::string &text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i)
    if (!IsBlank(text[i])) return false;
  return true;
}

// A display name that is one quoted string, without its quotes and with
// its backslash escapes undone (RFC 5322 3.2.4); any other name as it is.
std::string Unquoted(const std::string &name, const CLeadBytes &lead) {
  if (name.empty() || name.front() != '"' || QuotedStringEnd(name, 0, lead) != name.size())
    return name;
  std::string out;
  for (std::size_t i = 1; i + 1 < name.size();) {
    std::size_t n = CharacterAt(name, i, lead);
    if (n == 1 && name[i] == '\\') ++i;
    n = CharacterAt(name, i, lead);
    out.append(name, i, n);
    i += n;
  }
  return out;
}

// True when the text from begin to end, between two commas of an entry,
// is part of the display name of what follows: not blanks only, no "@"
// and no "<", and not Postmaster.
bool IsNamePart(const std::string &piece, std::size_t begin, std::size_t end,
                const CLeadBytes &lead) {
  const std::string part = TrimBlanks(piece.substr(begin, end - begin), lead);
  return !part.empty() && FindCharacter(part, '@', 0, lead) == std::string::npos &&
         FindCharacter(part, '<', 0, lead) == std::string::npos &&
         !SameAsciiText(part, kPostmaster);
}

}  // namespace

std::size_t FindEntryComma(const std::string &piece, std::size_t from, const CLeadBytes &lead) {
  // Once no ">" or "?=" follows, none follows any later position either:
  // remembered, so that a hostile piece costs linear time.
  bool closes = true;
  bool words = true;
  std::size_t part_start = from;
  for (std::size_t i = from; i < piece.size();) {
    const char c = piece[i];
    std::size_t end = i + CharacterAt(piece, i, lead);
    if (c == ',') {
      if (!IsNamePart(piece, part_start, i, lead)) return i;
      part_start = end;
    }
    if (c == '"') {
      // An unclosed quoted string runs to the end: no comma after it counts.
      end = QuotedStringEnd(piece, i, lead);
      if (end == std::string::npos) return std::string::npos;
    } else if (c == '<' && closes) {
      // Angle brackets hold an address or, in the older form, a name.
      const std::size_t close = FindCharacter(piece, '>', i + 1, lead);
      if (close != std::string::npos) end = close + 1;
      else closes = false;
    } else if (c == '=' && words) {
      const std::size_t word_end = EncodedWordEnd(piece, i);
      if (word_end != i) end = word_end;
      else words = piece.find("?=", i + 1) != std::string::npos;
    }
    i = end;
  }
  return std::string::npos;
}

bool SplitEntry(const std::string &entry, std::string &address, std::string &name,
                const CLeadBytes &lead) {
  // RFC 5322: `name <address>` or `<address>`, nothing after the ">".
  const std::size_t rfc_open = FindOpenOutsideQuotes(entry, lead);
  if (rfc_open != std::string::npos) {
    const std::size_t rfc_close = FindCharacter(entry, '>', rfc_open + 1, lead);
    if (rfc_close != std::string::npos && BlanksOnly(entry, rfc_close + 1)) {
      name = Unquoted(TrimBlanks(entry.substr(0, rfc_open), lead), lead);
      address = TrimBlanks(entry.substr(rfc_open + 1, rfc_close - rfc_open - 1), lead);
      return true;
    }
  }
  // `<name> address` or a bare address.
  const std::size_t open = FindCharacter(entry, '<', 0, lead);
  const std::size_t close = FindCharacter(entry, '>', 0, lead);
  if (open == std::string::npos && close == std::string::npos) {
    address = TrimBlanks(entry, lead);
    return true;
  }
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  name = TrimBlanks(entry.substr(open + 1, close - open - 1), lead);
  address = TrimBlanks(entry.substr(close + 1), lead);
  return true;
}

std::string EntryToQuote(const std::string &entry, const CLeadBytes &lead) {
  if (entry.size() <= kQuotedEntryLength) return entry;
  std::size_t end = 0;
  while (end < entry.size()) {
    std::size_t n = CharacterAt(entry, end, lead);
    if (end + n > kQuotedEntryLength) break;
    end += n;
  }
  // Without lead bytes the text may be UTF-8: never cut before a
  // continuation byte.
  for (int back = 0; !lead.Any() && back < kLongestUtf8Tail && end > 0 &&
                     (static_cast<unsigned char>(entry[end]) & 0xC0) == 0x80;
       ++back)
    --end;
  return entry.substr(0, end) + kCutMark;
}

std::string RefusedEntryText(const char *param, const std::string &entry) {
  return std::string("Invalid address in ") + param + ": \"" + entry + "\"";
}
