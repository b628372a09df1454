// Fills a mail's recipient lists from fuzzer bytes, the way the request
// driver does: a selector byte (code page of the To and CC texts, and
// whether the mail has its multi-language service), then the To, CC and
// BCC texts, each ended by a NUL. Shared by the header and envelope
// targets. The texts are untrusted caller input.
#ifndef MAILVANE_TESTS_FUZZ_RECIPIENT_SETUP_H
#define MAILVANE_TESTS_FUZZ_RECIPIENT_SETUP_H

#include <cstdint>
#include <string>

#include "mail/smtp_mail.h"
#include "tests/fuzz/fuzz_check.h"

struct CRecipientSetup {
  HResult to = S_OK;
  HResult cc = S_OK;
  HResult bcc = S_OK;
  bool AllSet() const { return to == S_OK && cc == S_OK && bcc == S_OK; }
};

inline CRecipientSetup FillRecipients(CSmtpMail &mail, CFuzzInput &input) {
  // The thread's own, UTF-8, Latin-1, Windows Latin-1, a double-byte one.
  static constexpr std::uint32_t kCodePages[] = {0, 65001, 28591, 1252, 932, 20127, 0, 65001};
  const std::uint8_t selector = input.Byte();
  const std::uint32_t code_page = kCodePages[selector & 7];
  if ((selector & 8) != 0 && mail.m_multiLanguage != nullptr) {
    mail.m_multiLanguage->Release();
    mail.m_multiLanguage = nullptr;
  }
  const std::string to = input.Text(), cc = input.Text(), bcc = input.Text();
  CRecipientSetup setup;
  setup.to = mail.SetTo(to.c_str(), code_page);
  setup.cc = mail.SetCc(cc.c_str(), code_page);
  setup.bcc = mail.SetBcc(bcc.c_str());
  return setup;
}

#endif
