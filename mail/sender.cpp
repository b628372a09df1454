// The sender: one entry of the recipient syntax (recipient_entry.h), a bare
// address, `name <address>` or `<name> address`. The address goes to MAIL
// FROM and between the angle brackets of the From line; a display name
// goes before it, converted and written as recipients' names are
// (display_name.h). Without a name the From line is `From: <address>`.
//
// A line break inside the entry, name or address, is refused (E_INVALIDARG):
// it would end MAIL FROM or the From line and let the caller smuggle in
// commands or header lines; so is an address byte above 0x7E, which has no
// 7-bit form (envelope_address.h). An address that is not one address (no
// "@", a blank, ...) is refused with kRefusedAddress.
#include "charset/lead_byte.h"
#include "mail/display_name.h"
#include "mail/multibyte_text.h"
#include "mail/smtp_mail.h"

HResult CSmtpMail::SetFrom(const char *from, std::uint32_t code_page, TextSource source) {
  if (from == nullptr) return HResultOfFailure();
  try {
    const CLeadBytes lead = LeadBytesOf(source);
    const std::string entry = TrimBlanks(from, lead);
    std::string address;
    std::string name;
    if (const HResult split = SplitCheckedEntry(entry, lead, address, name); split != S_OK)
      return split;
    std::string display;
    if (!name.empty()) {
      switch (MakeDisplayPart(*this, name, code_page, source, lead, display)) {
        case DisplayOutcome::kMade:
          break;
        case DisplayOutcome::kRefused:
          return E_INVALIDARG;
        case DisplayOutcome::kFailed:
          return HResultOfFailure();
      }
    }
    m_from.swap(address);
    m_fromName.swap(display);
    return S_OK;
  } catch (...) {
    return HResultOfFailure();
  }
}
