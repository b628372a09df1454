// The recipient lists: SetTo, SetCc, SetBcc and SetReplyTo cut a list
// into entries (recipient_entry.h: ";" and "," separate, empty entries are
// skipped), split each into display name and address, and store the To,
// CC and Reply-To texts in their header form ("name" <address>, joined by
// ", ") and the BCC text as bare addresses joined by ",".
//
// An entry with a CR or LF inside it (blanks around it are trimmed, line
// breaks among them) is refused with E_INVALIDARG, whatever its form: no
// real name or address holds one, and text spliced into a list that
// carries one ("b@x" CR LF "RCPT TO:<e@x>") is a command, not a recipient.
// Addresses are checked for their bytes and for being one address
// (envelope_address.h): a byte above 0x7E has no 7-bit form (E_INVALIDARG);
// an address that is empty, has no "@" or holds a blank, "<", ">" or ","
// is refused with kRefusedAddress and the entry kept for the text.
#include "charset/lead_byte.h"
#include "mail/display_name.h"
#include "mail/envelope_address.h"
#include "mail/multibyte_text.h"
#include "mail/recipient_entry.h"
#include "mail/smtp_mail.h"
#include "mime/encoded_word.h"

namespace {

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

// Appends one '"name" <address>' (or 'encoded-word <address>') item to a
// To or CC text. The text is unchanged unless the result is kAdded.
AddOutcome AppendRecipient(const CMailHeader &header, std::string &list, const std::string &address,
                           const std::string &name, std::uint32_t code_page, TextSource source,
                           const CLeadBytes &lead) {
  if (!IsSendableAddress(address)) return AddOutcome::kRefused;
  try {
    std::string item;
    switch (MakeDisplayPart(header, name, code_page, source, lead, item)) {
      case DisplayOutcome::kMade:
        break;
      case DisplayOutcome::kRefused:
        return AddOutcome::kRefused;
      case DisplayOutcome::kFailed:
        return AddOutcome::kFailed;
    }
    if (!list.empty()) item.insert(0, ", ");
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

HResult CSmtpMail::SetTo(const char *list, std::uint32_t code_page, TextSource source) {
  return SetList(m_to, list, code_page, source, false);
}

HResult CSmtpMail::SetCc(const char *list, std::uint32_t code_page, TextSource source) {
  return SetList(m_cc, list, code_page, source, false);
}

HResult CSmtpMail::SetReplyTo(const char *list, std::uint32_t code_page, TextSource source) {
  return SetList(m_replyTo, list, code_page, source, false);
}

HResult CSmtpMail::SetBcc(const char *list, TextSource source) {
  return SetList(m_bcc, list, 0, source, true);
}

// The one walk over a list for all three setters: ";" cuts the list into
// pieces, a "," outside names and addresses cuts a piece into entries.
// Entries processed before a failing one stay stored.
HResult CSmtpMail::SetList(std::string &field, const char *list, std::uint32_t code_page,
                           TextSource source, bool bcc) {
  field.clear();
  const std::string text = list != nullptr ? list : "";
  if (text.empty()) return S_OK;
  const CLeadBytes lead = LeadBytesOf(source);

  std::size_t piece_start = 0;
  for (;;) {
    const std::size_t semicolon = FindCharacter(text, ';', piece_start, lead);
    const std::string piece = text.substr(
        piece_start, (semicolon == std::string::npos ? text.size() : semicolon) - piece_start);
    for (std::size_t start = 0;;) {
      const std::size_t comma = FindEntryComma(piece, start, lead);
      const std::size_t end = comma == std::string::npos ? piece.size() : comma;
      const HResult result =
          AddEntry(field, piece.substr(start, end - start), code_page, source, bcc, lead);
      if (result != S_OK) return result;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (semicolon == std::string::npos) return S_OK;
    piece_start = semicolon + 1;
  }
}

HResult CSmtpMail::SplitCheckedEntry(const std::string &entry, const CLeadBytes &lead,
                                     std::string &address, std::string &name) {
  if (HasLineBreak(entry)) return E_INVALIDARG;
  if (!SplitEntry(entry, address, name, lead)) return kMalformedEntry;
  if (!IsSendableAddress(address)) return E_INVALIDARG;
  if (!IsSingleAddress(address)) {
    m_refusedEntry = EntryToQuote(entry, lead);
    return kRefusedAddress;
  }
  return S_OK;
}

HResult CSmtpMail::AddEntry(std::string &field, const std::string &entry, std::uint32_t code_page,
                            TextSource source, bool bcc, const CLeadBytes &lead) {
  const std::string trimmed = TrimBlanks(entry, lead);
  // An empty entry (";;", a trailing ",") names nobody: skipped.
  if (trimmed.empty()) return S_OK;
  std::string address;
  std::string name;
  if (const HResult split = SplitCheckedEntry(trimmed, lead, address, name); split != S_OK)
    return split;
  if (bcc) return AddBccAddress(address.c_str()) ? S_OK : HResultOfFailure();
  switch (AppendRecipient(*this, field, address, name, code_page, source, lead)) {
    case AddOutcome::kAdded:
      return S_OK;
    case AddOutcome::kRefused:
      return E_INVALIDARG;
    case AddOutcome::kFailed:
      break;
  }
  return HResultOfFailure();
}

int CSmtpMail::ParseRecipient(const std::string &entry, std::string &address,
                              std::string &display_name) {
  return SplitEntry(entry, address, display_name, ThreadLeadBytes()) ? 0 : 1;
}

int CSmtpMail::AddRecipient(std::string &list, const char *address, const char *display_name,
                            std::uint32_t code_page) {
  if (address == nullptr || display_name == nullptr) return 0;
  try {
    return AppendRecipient(*this, list, address, display_name, code_page,
                           TextSource::kThreadCodePage, ThreadLeadBytes()) ==
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
