// A mail for dialogue tests: the message it writes during DATA is a fixed
// text, so that the transcript of the dialogue does not depend on the
// message layout.
#ifndef MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H
#define MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H

#include <memory>
#include <string>

#include "mail/smtp_mail.h"
#include "mime/text_part.h"
#include "tests/support/smtp_test_limits.h"

class CTestMail : public CSmtpMail {
 public:
  static constexpr char kMessage[] = "Subject: test\r\n\r\nHello.\r\n";

  CTestMail() { SetTimeouts(TestTimeouts()); }

  int WriteTo(COutputChannel *channel, const char *, int) override {
    if (channel == nullptr) return 0;
    if (!m_failWith.empty()) {
      channel->SetFailureText(m_failWith.c_str());
      return 0;
    }
    return channel->WriteBytes(kMessage, sizeof kMessage - 1) ? 1 : 0;
  }

  // A plain-text body of these bytes, unconverted: what the dialogue asks
  // the parts (8-bit bytes or not); the message written stays kMessage.
  void SetBodyBytes(const std::string &text) {
    auto part = std::make_unique<CTextPart>();
    part->SetText(text.data(), static_cast<int>(text.size()), nullptr, 0);
    MutableParts().insert(MutableParts().begin(), std::move(part));
  }

  // Makes WriteTo fail for a reason of its own.
  void FailWriteWith(const std::string &text) { m_failWith = text; }

 private:
  std::string m_failWith;
};

#endif
