// The envelope of a transaction command by command: MAIL FROM, one RCPT TO
// per envelope element and DATA, each written after the reply to the one
// before, with RSET after a refused recipient or DATA; and what the
// pipelined envelope (pipelining.cpp) shares with it: the recipient list,
// the RCPT TO command of one element, and RSET.
//
// An envelope element goes into RCPT TO only when it fits the command and
// holds no CR, LF or NUL: such a byte would let the text end the command
// early and smuggle in one of its own.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "mail/envelope_address.h"
#include "mail/smtp_mail.h"
#include "smtp/envelope.h"
#include "smtp/reply.h"
#include "smtp/session.h"
#include "smtp/transport_texts.h"

namespace {

// RCPT TO: at most 1000 characters, the command line limit of RFC 5321
// section 4.5.3.1.4 with its CR LF.
constexpr std::size_t kRecipientCommandSize = 1000;
constexpr char kEnvelopeSuffix[] = ">\r\n";

constexpr char kDataCommand[] = "DATA\r\n";
constexpr char kResetCommand[] = "RSET\r\n";

constexpr char kOk[] = "250";
constexpr char kStartData[] = "354";

}  // namespace

bool CSmtpSession::SendEnvelope(const char *mailCommand, std::size_t length, CSmtpMail &mail) {
  const CSmtpTimeouts &limits = m_connection.GetTimeouts();
  char buffer[kReplyCapacity];
  CCommandResult result = m_connection.SendCommand(mailCommand, length, buffer, kOk, limits.replyMs);
  if (!result.Ok()) {
    m_connection.FailCommand(result, "MAIL");
    return false;
  }
  std::vector<char> list;
  if (!BuildEnvelope(mail, &list) || !SendRecipients(list.data())) {
    Reset();
    return false;
  }
  result = m_connection.SendCommand(kDataCommand, sizeof kDataCommand - 1, buffer, kStartData,
                                    limits.dataReplyMs);
  if (!result.Ok()) {
    m_connection.FailCommand(result, "DATA");
    Reset();
    return false;
  }
  return true;
}

bool CSmtpSession::BuildEnvelope(CSmtpMail &mail, std::vector<char> *list) {
  bool built = false;
  try {
    std::size_t size = mail.GetRecipientsLength();
    list->resize(size > 0 ? size : 1);
    std::size_t listLength = list->size();
    built = mail.GetRecipients(list->data(), &listLength);
  } catch (const std::bad_alloc &) {
    built = false;
  }
  if (!built) SetText(kTextRecipientList);
  return built;
}

bool CSmtpSession::RecipientCommand(const std::string &element, std::string *command) {
  if (!IsSendableAddress(element)) {
    SetText(kTextRecipientInvalid);
    return false;
  }
  char line[kRecipientCommandSize + 1];
  int length = std::snprintf(line, sizeof line, "RCPT TO:<%s%s", element.c_str(), kEnvelopeSuffix);
  if (length < 0 || static_cast<std::size_t>(length) > kRecipientCommandSize) {
    SetText(kTextRecipientTooLong);
    return false;
  }
  command->assign(line, static_cast<std::size_t>(length));
  return true;
}

bool CSmtpSession::SendRecipients(const char *list) {
  if (!m_connection.IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  CEnvelopeElements elements(list != nullptr ? list : "");
  std::string element;
  std::string command;
  for (;;) {
    CEnvelopeElements::Result next = elements.Next(element);
    if (next == CEnvelopeElements::kEnd) return true;
    if (next == CEnvelopeElements::kTooLong) {
      SetText(kTextRecipientTooLong);
      return false;
    }
    if (!RecipientCommand(element, &command)) return false;
    char buffer[kReplyCapacity];
    CCommandResult result = m_connection.Exchange(command.data(), command.size(), buffer,
                                                  {m_connection.GetTimeouts().replyMs});
    if (result.Ok()) {
      if (result.code.AcceptsRecipient()) continue;
      result.outcome = CommandOutcome::kRefused;
    }
    m_connection.FailCommand(result, "RCPT");
    return false;
  }
}

bool CSmtpSession::Reset() {
  if (!m_connection.IsConnected()) return false;
  char buffer[kReplyCapacity];
  CCommandResult result = m_connection.SendCommand(kResetCommand, sizeof kResetCommand - 1, buffer,
                                                   kOk, m_connection.GetTimeouts().replyMs);
  if (result.Ok()) return true;
  m_connection.Disconnect();
  return false;
}
