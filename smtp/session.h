// CSmtpSession: the SMTP dialogue of one message over an open connection:
// HELO, or EHLO with what its reply offers; STARTTLS; AUTH; the transaction
// (MAIL FROM, RCPT TO, DATA, the message, the end of data) and RSET. It
// decides which command comes next and what a reply means; the connection
// (smtp_connection.h) carries the bytes, bounds every wait and keeps the
// last-error text, which each failed step sets there.
//
// CSmtpMail::Send creates it over the connection it has just connected;
// the connection belongs to the caller and must outlive the session. Every
// step returns true or false; a failure after which the dialogue cannot go
// on closes the connection. The steps are in session.cpp (the greeting
// commands and the transaction), transaction_steps.cpp (the envelope
// command by command, and RSET), pipelining.cpp (the envelope of a server
// that offers PIPELINING, RFC 2920), authentication.cpp (AUTH) and
// starttls.cpp (STARTTLS).
//
// Caller text is untrusted: a sender or an envelope element goes into a
// command only when it fits and holds no CR, LF or NUL. Credentials are
// wiped from every buffer that held them and never appear in a text or a
// trace.
#ifndef MAILVANE_SMTP_SESSION_H
#define MAILVANE_SMTP_SESSION_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mail/auth_mechanism.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/smtp_connection.h"

class CSmtpMail;

class CSmtpSession {
 public:
  explicit CSmtpSession(CSmtpConnection &connection) : m_connection(connection) {}
  CSmtpSession(const CSmtpSession &) = delete;
  CSmtpSession &operator=(const CSmtpSession &) = delete;

  // The dialogue, in its order.
  bool SendHelo();
  bool SendEhlo();
  // What the last EHLO reply announced; empty after HELO, or before EHLO.
  const CEhloCapabilities &Offer() const { return m_offer; }
  // STARTTLS: EHLO, its reply read in full for the STARTTLS keyword,
  // STARTTLS and its 220, then the connection's handshake. Any failure
  // closes the connection before anything else is sent.
  bool StartTls();
  // AUTH with the mechanism asked for, or with kChoose the one the last
  // EHLO offer allows (sasl_mechanisms.h); secret is the password or the
  // bearer token. Fails before any credential is written when no
  // mechanism fits.
  bool Authenticate(AuthMechanism mechanism, std::string_view user, std::string_view secret);
  bool AuthPlain(std::string_view user, std::string_view password);
  bool SendMail(CSmtpMail &mail);
  bool SendRecipients(const char *list);
  bool Reset();

  // How far the dialogue got: AUTH ended in a permanent refusal; the end
  // of data was written (the server may have the message).
  bool AuthRefused() const { return m_authRefused; }
  bool EndOfDataSent() const { return m_endOfDataSent; }

 private:
  // With announces, what the EHLO reply announces is kept as the offer.
  bool SendGreetingCommand(const char *verb, bool announces);
  // An EHLO reply whose rest did not come: judged by what came, or false
  // when it broke off inside TLS (the text is set).
  bool JudgeCutOffReply(CCommandResult *result, bool inTls);
  // MAIL FROM (the command given), one RCPT TO per envelope element and
  // DATA up to its 354: each command after the reply to the one before,
  // or, where the server pipelines, together with their replies read
  // after them. On failure the transaction is reset or the connection
  // closed, and the text left.
  bool SendEnvelope(const char *mailCommand, std::size_t length, CSmtpMail &mail);
  bool SendEnvelopePipelined(const char *mailCommand, std::size_t length, CSmtpMail &mail);
  // The envelope recipient list of the mail into list; the text otherwise.
  bool BuildEnvelope(CSmtpMail &mail, std::vector<char> *list);
  // The RCPT TO command for one element into command; the text otherwise.
  bool RecipientCommand(const std::string &element, std::string *command);
  void SetText(const std::string &text) { m_connection.SetLastErrorText(text); }

  CSmtpConnection &m_connection;
  CEhloCapabilities m_offer;
  // The name HELO or EHLO gave; the EHLO after STARTTLS repeats it, and
  // the host's name is looked up once per session.
  std::string m_greetingName;
  bool m_authRefused = false;
  bool m_endOfDataSent = false;
};

#endif
