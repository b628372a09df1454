// The greeting commands and the transaction of the dialogue: HELO or EHLO
// (whose reply, read in full, tells what the server announces), and MAIL
// FROM, the envelope (transaction_steps.cpp, or pipelining.cpp where the
// server pipelines), the message and the end of data.
//
// Each step formats its command into a buffer of its own, which then takes
// the reply. The sender goes into MAIL FROM only when it fits and holds no
// CR, LF or NUL: such a byte would let the text end the command early and
// smuggle in one of its own.
#include "smtp/session.h"

#include <cstdio>
#include <string>

#include "mail/envelope_address.h"
#include "mail/smtp_mail.h"
#include "mime/mime_part.h"
#include "smtp/greeting_name.h"
#include "smtp/reply.h"
#include "smtp/transport_texts.h"

namespace {

// HELO, EHLO and MAIL FROM commands: at most 1001 characters.
constexpr std::size_t kCommandSize = 1001;

constexpr char kMailPrefix[] = "MAIL FROM:<";
constexpr char kEnvelopeSuffix[] = ">\r\n";
// The longest sender: 1001 - 11 - 3 = 987 characters.
constexpr std::size_t kMaxSender = kCommandSize - (sizeof kMailPrefix - 1) - (sizeof kEnvelopeSuffix - 1);
// The MAIL FROM parameter of a body with 8-bit bytes (RFC 6152 section 2).
constexpr char kBodyParameter[] = " BODY=8BITMIME";
constexpr std::size_t kBodyParameterLength = sizeof kBodyParameter - 1;

constexpr char kEndOfData[] = "\r\n.\r\n";
constexpr char kCrLf[] = "\r\n";
static_assert(sizeof "EHLO " - 1 + kMaxGreetingName + sizeof kCrLf - 1 <= kCommandSize,
              "every greeting name fits the HELO and EHLO commands");

// The step a rest of an EHLO reply that runs out of time inside TLS names.
constexpr char kDrainStep[] = "rest of EHLO reply";

constexpr char kOk[] = "250";

}  // namespace

bool CSmtpSession::SendHelo() { return SendGreetingCommand("HELO", false); }

bool CSmtpSession::SendEhlo() { return SendGreetingCommand("EHLO", true); }

bool CSmtpSession::SendGreetingCommand(const char *verb, bool announces) {
  // What an earlier EHLO announced no longer holds (RFC 3207 section 4.2).
  m_offer = CEhloCapabilities();
  if (!m_connection.IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  int error = 0;
  if (m_greetingName.empty() && !m_connection.GreetingName(&m_greetingName, &error)) {
    SetText(FormatText(kTextHostName, error));
    m_connection.Abort();
    return false;
  }
  char buffer[kCommandSize + 1];
  int length =
      std::snprintf(buffer, sizeof buffer, "%s %s\r\n", verb, m_greetingName.c_str());
  const CSmtpTimeouts &limits = m_connection.GetTimeouts();
  CEhloReplyReader keywords;
  CReplyWait wait{limits.replyMs};
  if (announces) wait = {limits.replyMs, limits.ehloDrainMs, &keywords};
  // Taken before reading: a failed read inside TLS closes the connection.
  const bool inTls = m_connection.IsProtected();
  CCommandResult result =
      m_connection.Exchange(buffer, static_cast<std::size_t>(length), buffer, wait);
  if (announces) {
    m_offer = keywords.Capabilities();
    if (!JudgeCutOffReply(&result, inTls)) {
      m_connection.Abort();
      return false;
    }
  }
  if (result.Ok() && !result.code.Is(kOk)) result.outcome = CommandOutcome::kRefused;
  if (!result.Ok()) {
    m_connection.FailCommand(result, verb);
    m_connection.Abort();
    return false;
  }
  return true;
}

// The rest of a multi-line EHLO reply is waited for ehloDrainMs at most
// once its first bytes have come. A reply cut off there on a plain
// connection, by that limit, the server's close or a failed receive, is
// judged by the lines that came, and the next command finds out whether
// the server is still there; the rest, should it come before that command
// is due, fails it as bytes out of turn.
//
// Inside TLS a read that fails or runs out of time there fails the step:
// the session broke off in the middle of a reply (a record that does not
// decrypt, bytes that are no record at all, a server or a path that holds
// the rest back), and whatever came next could not be trusted to answer
// the next command. The connection is then closed.
bool CSmtpSession::JudgeCutOffReply(CCommandResult *result, bool inTls) {
  const CommandOutcome outcome = result->outcome;
  const bool cutOff = result->replyLength > 0 && (outcome == CommandOutcome::kReplyTimedOut ||
                                                  outcome == CommandOutcome::kClosed ||
                                                  outcome == CommandOutcome::kNoReply);
  if (!cutOff) return true;
  if (!inTls || outcome == CommandOutcome::kClosed) {
    result->outcome = CommandOutcome::kMatched;
    return true;
  }
  SetText(outcome == CommandOutcome::kReplyTimedOut ? FormatText(kTextReplyTimeout, kDrainStep)
                                                    : FormatText(kTextTlsReplyBroken, result->error));
  return false;
}

bool CSmtpSession::SendMail(CSmtpMail &mail) {
  if (!m_connection.IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  const std::string &from = mail.m_from;
  if (from.size() > kMaxSender) {
    SetText(kTextSenderTooLong);
    return false;
  }
  if (!IsSendableAddress(from)) {
    SetText(kTextSenderInvalid);
    return false;
  }
  // RFC 6152: a body that goes out with 8-bit bytes is announced to a
  // server that takes it. Only where the parameter fits the command; a
  // sender too long for it keeps the command as it has always been.
  const bool eightBit = m_offer.eightBitMime && from.size() + kBodyParameterLength <= kMaxSender &&
                        mail.SendsEightBitBytes();
  char buffer[kCommandSize + 1];
  int length = std::snprintf(buffer, sizeof buffer, "%s%s>%s\r\n", kMailPrefix, from.c_str(),
                             eightBit ? kBodyParameter : "");
  const bool started = m_offer.pipelining
                           ? SendEnvelopePipelined(buffer, static_cast<std::size_t>(length), mail)
                           : SendEnvelope(buffer, static_cast<std::size_t>(length), mail);
  if (!started) return false;

  // Bytes beyond the 354 answer nothing: no message is written after them.
  if (!m_connection.CheckTurn("DATA")) return false;
  // The server is in the data phase from here on; a failure leaves it
  // there and the connection is closed by the caller, so no partial message
  // is ever ended with the final dot.
  CSocketChannel &channel = *m_connection.Channel();
  channel.StartMessage();
  if (mail.WriteTo(&channel, "", kWriteSmtp) == 0) {
    SetText(channel.FailureText().empty() ? std::string(kTextWriteMessage)
                                          : channel.FailureText());
    return false;
  }

  // A trace shows the message by its size where the end of data goes out,
  // never its content.
  std::string shown;
  if (m_connection.Tracing()) shown = CDialogueTrace::MessageShown(channel.BytesWritten());
  m_endOfDataSent = true;
  CCommandResult result = m_connection.WriteCommands(kEndOfData, sizeof kEndOfData - 1,
                                                     shown.empty() ? nullptr : shown.c_str());
  if (result.Ok()) {
    // The end of data is out whole: the server may deliver the message
    // now. Its reply is waited for as long as the limit allows whatever
    // the client does meanwhile, so that the call reports what became of
    // the mail. (A cancel during the write above leaves the end cut short:
    // nothing is delivered.)
    m_connection.StopAskingCancel();
    result = m_connection.ReadReply(buffer, {m_connection.GetTimeouts().endOfDataMs});
    if (result.Ok() && !result.code.Is(kOk)) result.outcome = CommandOutcome::kRefused;
  }
  if (!result.Ok()) {
    m_connection.FailCommand(result, "end of data");
    return false;
  }
  return true;
}
