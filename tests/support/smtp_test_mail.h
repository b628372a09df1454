// A mail for dialogue tests: the message it writes during DATA is a fixed
// text, so that the transcript of the dialogue does not depend on the
// message layout.
#ifndef MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H
#define MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H

#include <string>

#include "mail/smtp_mail.h"
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

  // Makes WriteTo fail for a reason of its own.
  void FailWriteWith(const std::string &text) { m_failWith = text; }

 private:
  std::string m_failWith;
};

#endif
