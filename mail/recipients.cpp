// The recipient lists: SetTo, SetCc and SetBcc cut a ";"-separated list
// into entries, split each into display name and address, and store the To
// and CC texts in their header form ("name" <address>, joined by ", ") and
// the BCC text as bare addresses joined by ",".
//
// An entry is written "<display name> address". Addresses are not checked
// for form, only for their bytes: a CR or LF would end the RCPT TO command
// it travels in and start another (SMTP command injection), and a byte
// above 0x7E has no 7-bit form (envelope_address.h), so such a list is
// refused with E_INVALIDARG. A display name with a line break would do
// the same to the header; it is refused unless the header encoder turned
// it into an encoded word.
#include <cstring>

#include "charset/convert.h"
#include "mail/envelope_address.h"
#include "mail/lead_byte.h"
#include "mail/multibyte_text.h"
#include "mail/smtp_mail.h"

namespace {

// The result of an entry whose angle brackets are malformed.
constexpr HResult kMalformedEntry = 1;

// Room for the encoded display name of L bytes: 3 × (L + ⌊3L/68⌋ + 1) + 58,
// enough for a Q word (every byte escaped, with a fold allowance) and for
// a charset name of up to 50 bytes with the 7 delimiter bytes.
constexpr std::size_t kEncodeFactor = 3;
constexpr std::size_t kFoldDivisor = 68;
constexpr std::size_t kEncodeReserve = 58;

// Names whose encoding area fits here (converted names up to 63 bytes)
// need no heap memory.
constexpr std::size_t kLocalEncodeArea = 256;

std::size_t EncodeAreaSize(std::size_t length) {
  return kEncodeFactor * (length + kEncodeFactor * length / kFoldDivisor + 1) + kEncodeReserve;
}

// Bytes that must never reach a command or header line raw. A NUL cannot
// come in through a C string, but is refused all the same.
constexpr char kLineBreaks[] = {'\r', '\n', '\0'};

bool HasLineBreak(const std::string &text) {
  return text.find_first_of(kLineBreaks, 0, sizeof kLineBreaks) != std::string::npos;
}

enum class AddOutcome { kAdded, kFailed, kRefused };

// A header line holds 998 bytes (RFC 5322 section 2.1.1); an item of the
// To or CC line stands after "To: " or "CC: " (4) or the TAB of a fold,
// and before the "," that joins it to the next.
constexpr std::size_t kLongestHeaderLine = 998;
constexpr std::size_t kLongestItemLine = kLongestHeaderLine - 4 - 1;

// The longest run of the item between the folds of its encoded words.
std::size_t LongestLine(const std::string &item) {
  std::size_t longest = 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = item.find("\r\n", start);
    std::size_t length = (end == std::string::npos ? item.size() : end) - start;
    if (length > longest) longest = length;
    if (end == std::string::npos) return longest;
    start = end + 2;
  }
}

// Splits "<name> address" (or a bare address) into its trimmed parts.
// Returns false when the brackets are malformed; nothing is stored then.
bool SplitEntry(const std::string &entry, std::string &address, std::string &name,
                const CLeadBytes &lead) {
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

// Appends one '"name" <address>' (or 'encoded-word <address>') item to a
// To or CC text. The text is unchanged unless the result is kAdded.
AddOutcome AppendRecipient(const CMailHeader &header, std::string &list, const std::string &address,
                           const std::string &name, std::uint32_t code_page,
                           const CLeadBytes &lead) {
  if (!IsSendableAddress(address)) return AddOutcome::kRefused;
  try {
    std::string converted;
    if (header.m_multiLanguage != nullptr) {
      if (!ConvertText(header.m_multiLanguage, code_page, name.c_str(), converted))
        return AddOutcome::kFailed;
    } else {
      converted = name;
    }
    char charset[kCharsetNameSize] = {};
    if (!GetCharsetName(charset, code_page, header.m_multiLanguage, kCharsetNameSize))
      return AddOutcome::kFailed;

    const std::size_t capacity = EncodeAreaSize(converted.size());
    char local[kLocalEncodeArea];
    std::string heap;
    char *area = local;
    if (capacity > sizeof local) {
      heap.resize(capacity);
      area = heap.data();
    }
    std::size_t produced = 0;
    int encoded = 0;
    // Without a service a line break cannot be encoded: refused, not failed.
    if (header.m_multiLanguage == nullptr && HasLineBreak(converted)) return AddOutcome::kRefused;
    if (!header.EncodeHeaderText(converted, charset, area, capacity, &produced, &encoded))
      return AddOutcome::kFailed;
    // Copied unchanged, a line break would end the To or CC line early.
    if (!encoded && HasLineBreak(converted)) return AddOutcome::kRefused;

    std::string item;
    if (!list.empty()) item = ", ";
    if (encoded) {
      item.append(area, produced);
    } else {
      item.push_back('"');
      AppendQuotedText(item, converted, lead);
      item.push_back('"');
    }
    item += " <";
    item += address;
    item.push_back('>');
    // The list fold puts every item on a line of its own; an item that
    // cannot be folded to fit one (a long name without unsafe bytes is
    // quoted, not encoded) would break the line limit of the header.
    if (LongestLine(item) > kLongestItemLine) return AddOutcome::kRefused;
    list += item;
    return AddOutcome::kAdded;
  } catch (...) {
    return AddOutcome::kFailed;
  }
}

}  // namespace

HResult CSmtpMail::SetTo(const char *list, std::uint32_t code_page) {
  return SetList(m_to, list, code_page, false);
}

HResult CSmtpMail::SetCc(const char *list, std::uint32_t code_page) {
  return SetList(m_cc, list, code_page, false);
}

HResult CSmtpMail::SetBcc(const char *list) { return SetList(m_bcc, list, 0, true); }

// The one walk over a list for all three setters. Entries processed before
// a failing one stay stored.
HResult CSmtpMail::SetList(std::string &field, const char *list, std::uint32_t code_page,
                           bool bcc) {
  field.clear();
  const std::string text = list != nullptr ? list : "";
  if (text.empty()) return S_OK;
  const CLeadBytes lead = AnsiLeadBytes();

  std::size_t pos = 0;
  std::size_t sep = FindCharacter(text, ';', 0, lead);
  while (pos < text.size()) {
    std::string entry;
    if (sep != std::string::npos) {
      entry = text.substr(pos, sep - pos);
      pos = sep + 1;
    } else {
      entry = text.substr(pos);
      pos = text.size();
    }
    std::string address;
    std::string name;
    if (!SplitEntry(entry, address, name, lead)) return kMalformedEntry;
    if (!IsSendableAddress(address)) return E_INVALIDARG;

    if (bcc) {
      if (!AddBccAddress(address.c_str())) return HResultOfFailure();
    } else {
      switch (AppendRecipient(*this, field, address, name, code_page, lead)) {
        case AddOutcome::kAdded:
          break;
        case AddOutcome::kRefused:
          return E_INVALIDARG;
        case AddOutcome::kFailed:
          return HResultOfFailure();
      }
    }
    sep = FindCharacter(text, ';', pos, lead);
  }
  return S_OK;
}

int CSmtpMail::ParseRecipient(const std::string &entry, std::string &address,
                              std::string &display_name) {
  return SplitEntry(entry, address, display_name, AnsiLeadBytes()) ? 0 : 1;
}

int CSmtpMail::AddRecipient(std::string &list, const char *address, const char *display_name,
                            std::uint32_t code_page) {
  if (address == nullptr || display_name == nullptr) return 0;
  try {
    return AppendRecipient(*this, list, address, display_name, code_page, AnsiLeadBytes()) ==
                   AddOutcome::kAdded
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

int CSmtpMail::AddBccAddress(const char *address) {
  if (address == nullptr) return 0;
  if (!IsSendableAddress(address)) return 0;
  try {
    std::string item;
    if (!m_bcc.empty()) item.push_back(',');
    item += address;
    m_bcc += item;
    return 1;
  } catch (...) {
    return 0;
  }
}
