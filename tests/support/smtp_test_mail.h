// A mail for dialogue tests: the message it writes during DATA is a fixed
// text, so that the transcript of the dialogue does not depend on the
// message layout; the helper that sends a mail to a scripted server; and
// a connection with the tests' limits and its session, for tests that
// connect to one and run the steps one by one.
#ifndef MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H
#define MAILVANE_TESTS_SUPPORT_SMTP_TEST_MAIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/smtp_mail.h"
#include "mime/text_part.h"
#include "smtp/session.h"
#include "smtp/smtp_connection.h"
#include "tests/support/scripted_server.h"
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

// One Send of mail to server: starts the server, stops it after the send,
// and fails the test for each problem the server saw.
inline HResult SendTo(CScriptedServer &server, CSmtpMail &mail) {
  EXPECT_TRUE(server.Start());
  HResult result = mail.Send(server.Host(), server.Port());
  server.Stop();
  for (const std::string &problem : server.Problems()) ADD_FAILURE() << problem;
  return result;
}

// A connection with the tests' limits (or those given), over the
// connection's own platform calls or the test's, and the session over it.
struct CTestConnection : CSmtpConnection {
  explicit CTestConnection(const CSmtpTimeouts &limits = TestTimeouts()) { SetTimeouts(limits); }
  explicit CTestConnection(CSocketCalls &calls) : CSmtpConnection(calls) {
    SetTimeouts(TestTimeouts());
  }
  using CSmtpConnection::ConnectTo;
  // Starts the server and connects to it within the connect limit.
  bool ConnectTo(CScriptedServer &server) {
    EXPECT_TRUE(server.Start());
    return Connect(server.Host(), server.Port(), GetTimeouts().connectMs);
  }

  CSmtpSession session{*this};
};

#endif
