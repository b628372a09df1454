// The steps of the SMTP dialogue on an open connection: HELO or EHLO (with
// the drain of a multi-line EHLO reply, which also collects what the reply
// announces), and the transaction (MAIL FROM, one RCPT TO per envelope
// element, DATA, the message, the end of data) with RSET after a refused
// recipient or DATA. AUTH is in authentication.cpp; the transaction of a
// server that pipelines in pipelining.cpp.
//
// Each step formats its command into a buffer of its own, which then takes
// the reply. Sender and envelope elements go into commands only when they
// fit and hold no CR, LF or NUL: such a byte would let the text end the
// command early and smuggle in one of its own.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "mail/envelope_address.h"
#include "mail/smtp_mail.h"
#include "mime/mime_part.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/envelope.h"
#include "smtp/greeting_name.h"
#include "smtp/reply.h"
#include "smtp/smtp_connection.h"
#include "smtp/transport_texts.h"

namespace {

// HELO, EHLO and MAIL FROM commands: at most 1001 characters.
constexpr std::size_t kCommandSize = 1001;
// RCPT TO: at most 1000 characters, the command line limit of RFC 5321
// section 4.5.3.1.4 with its CR LF.
constexpr std::size_t kRecipientCommandSize = 1000;

constexpr char kMailPrefix[] = "MAIL FROM:<";
constexpr char kEnvelopeSuffix[] = ">\r\n";
// The longest sender: 1001 - 11 - 3 = 987 characters.
constexpr std::size_t kMaxSender = kCommandSize - (sizeof kMailPrefix - 1) - (sizeof kEnvelopeSuffix - 1);
// The MAIL FROM parameter of a body with 8-bit bytes (RFC 6152 section 2).
constexpr char kBodyParameter[] = " BODY=8BITMIME";
constexpr std::size_t kBodyParameterLength = sizeof kBodyParameter - 1;

constexpr char kDataCommand[] = "DATA\r\n";
constexpr char kEndOfData[] = "\r\n.\r\n";
constexpr char kResetCommand[] = "RSET\r\n";
constexpr char kCrLf[] = "\r\n";
static_assert(sizeof "EHLO " - 1 + kMaxGreetingName + sizeof kCrLf - 1 <= kCommandSize,
              "every greeting name fits the HELO and EHLO commands");

// The step a drain that runs out of time inside TLS names.
constexpr char kDrainStep[] = "rest of EHLO reply";

constexpr char kOk[] = "250";
constexpr char kStartData[] = "354";

bool HoldsCommandBreaker(const std::string &text) { return !IsSendableAddress(text); }

}  // namespace

bool CSmtpConnection::SendHelo() { return SendGreetingCommand("HELO", false); }

bool CSmtpConnection::SendEhlo() { return SendGreetingCommand("EHLO", true); }

bool CSmtpConnection::SendGreetingCommand(const char *verb, bool drain) {
  // What an earlier EHLO announced no longer holds (RFC 3207 section 4.2).
  m_offer = CEhloCapabilities();
  if (!IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  std::string name;
  int error = 0;
  if (!ChooseGreetingName(m_calls, m_socket.Handle(), &name, &error)) {
    SetText(FormatText(kTextHostName, error));
    Abort();
    return false;
  }
  char buffer[kCommandSize + 1];
  int length = std::snprintf(buffer, sizeof buffer, "%s %s\r\n", verb, name.c_str());
  CCommandResult result = SendCommand(buffer, static_cast<std::size_t>(length), buffer,
                                      kReplyCapacity, kOk, m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, verb);
    Abort();
    return false;
  }
  if (drain && !DrainReply(buffer, result.replyLength)) {
    Abort();
    return false;
  }
  return true;
}

// The lines of a multi-line reply that arrive after its first receive would
// be taken as the reply to the next command. They are read and dropped
// until the final line has come, or for at most ehloDrainMs when it never
// does; what the reply announces, in whichever receive, becomes the
// connection's offer.
//
// On a plain connection what the drain meets never changes the step's
// result. Inside TLS a drain read that fails or runs out of time fails the
// step: the session broke off in the middle of a reply (a record that does
// not decrypt, bytes that are no record at all, a server or a path that
// holds the rest back), and whatever came next could not be trusted to
// answer the next command. The connection is then closed.
bool CSmtpConnection::DrainReply(const char *reply, std::size_t length) {
  CEhloReplyReader keywords;
  // Taken before reading: a failed read inside TLS closes the connection.
  const bool inTls = m_socket.IsProtected();
  CCommandResult result = ReadReplyEnd(reply, length, m_timeouts.ehloDrainMs, &keywords);
  m_offer = keywords.Capabilities();
  // A server that closed is found out by the next command.
  if (!inTls || result.Ok() || result.outcome == CommandOutcome::kClosed) return true;
  SetText(result.outcome == CommandOutcome::kReplyTimedOut
              ? FormatText(kTextReplyTimeout, kDrainStep)
              : FormatText(kTextTlsReplyBroken, result.error));
  return false;
}

CCommandResult CSmtpConnection::ReadReplyEnd(const char *first, std::size_t length, int limitMs,
                                             CEhloReplyReader *keywords) {
  CReplyEndScanner scanner;
  CCommandResult result;
  result.outcome = CommandOutcome::kMatched;
  result.replyLength = length;
  if (keywords != nullptr) keywords->Feed(first, length);
  if (scanner.Feed(first, length)) return result;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  char rest[kReplyCapacity];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.outcome = CommandOutcome::kReplyTimedOut;
      return result;
    }
    std::size_t received = sizeof rest;
    IoStatus status = Receive(rest, &received, static_cast<int>(left.count()), &result.error);
    result.outcome = ReceiveOutcome(status, received);
    if (!result.Ok()) return result;
    if (keywords != nullptr) keywords->Feed(rest, received);
    if (scanner.Feed(rest, received)) return result;
  }
}

bool CSmtpConnection::SendMail(CSmtpMail &mail) {
  if (!IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  const std::string &from = mail.m_from;
  if (from.size() > kMaxSender) {
    SetText(kTextSenderTooLong);
    return false;
  }
  if (HoldsCommandBreaker(from)) {
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

  // The server is in the data phase from here on; a failure leaves it
  // there and the connection is closed by the caller, so no partial message
  // is ever ended with the final dot.
  m_channel.StartMessage();
  if (mail.WriteTo(&m_channel, "", kWriteSmtp) == 0) {
    SetText(m_channel.FailureText().empty() ? std::string(kTextWriteMessage)
                                            : m_channel.FailureText());
    return false;
  }

  // A trace shows the message by its size where the end of data goes out,
  // never its content.
  std::string shown;
  if (m_trace.On()) shown = CDialogueTrace::MessageShown(m_channel.BytesWritten());
  CCommandResult result = SendCommand(kEndOfData, sizeof kEndOfData - 1, buffer, kReplyCapacity,
                                      kOk, m_timeouts.endOfDataMs,
                                      shown.empty() ? nullptr : shown.c_str());
  if (!result.Ok()) {
    FailCommand(result, buffer, "end of data");
    return false;
  }
  return true;
}

bool CSmtpConnection::SendEnvelope(const char *mailCommand, std::size_t length, CSmtpMail &mail) {
  char buffer[kCommandSize + 1];
  CCommandResult result =
      SendCommand(mailCommand, length, buffer, kReplyCapacity, kOk, m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, "MAIL");
    return false;
  }
  std::vector<char> list;
  if (!BuildEnvelope(mail, &list) || !SendRecipients(list.data())) {
    Reset();
    return false;
  }
  result = SendCommand(kDataCommand, sizeof kDataCommand - 1, buffer, kReplyCapacity, kStartData,
                       m_timeouts.dataReplyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, "DATA");
    Reset();
    return false;
  }
  return true;
}

bool CSmtpConnection::BuildEnvelope(CSmtpMail &mail, std::vector<char> *list) {
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

bool CSmtpConnection::RecipientCommand(const std::string &element, std::string *command) {
  if (HoldsCommandBreaker(element)) {
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

bool CSmtpConnection::SendRecipients(const char *list) {
  if (!IsConnected()) {
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
    CCommandResult result =
        Exchange(command.data(), command.size(), buffer, kReplyCapacity, m_timeouts.replyMs);
    if (result.Ok()) {
      if (AcceptsRecipient(buffer, result.replyLength)) continue;
      result.outcome = CommandOutcome::kRefused;
    }
    FailCommand(result, buffer, "RCPT");
    return false;
  }
}

bool CSmtpConnection::Reset() {
  if (!IsConnected()) return false;
  char buffer[kReplyCapacity];
  CCommandResult result = SendCommand(kResetCommand, sizeof kResetCommand - 1, buffer,
                                      kReplyCapacity, kOk, m_timeouts.replyMs);
  if (result.Ok()) return true;
  Disconnect();
  return false;
}
