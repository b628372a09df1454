// The steps of the SMTP dialogue on an open connection: HELO or EHLO (with
// the drain of a multi-line EHLO reply), AUTH PLAIN, and the transaction
// (MAIL FROM, one RCPT TO per envelope element, DATA, the message, the end
// of data) with RSET after a refused recipient or DATA.
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
#include "mail/secure_zero.h"
#include "mail/smtp_mail.h"
#include "mime/base64.h"
#include "mime/mime_part.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/envelope.h"
#include "smtp/reply.h"
#include "smtp/smtp_connection.h"
#include "smtp/transport_texts.h"

namespace {

// HELO, EHLO, AUTH and MAIL FROM commands: at most 1001 characters.
constexpr std::size_t kCommandSize = 1001;
// RCPT TO: at most 1000 characters, the command line limit of RFC 5321
// section 4.5.3.1.4 with its CR LF.
constexpr std::size_t kRecipientCommandSize = 1000;
// The local host name, with its NUL; gethostname names at most 255 bytes.
constexpr std::size_t kHostNameSize = 256;
// The credential block (NUL user NUL password): 750 bytes give exactly the
// 1000 Base64 characters the credential line may hold.
constexpr std::size_t kMaxCredentialBlock = 750;
constexpr std::size_t kEncodedCredentialsSize = 1000;

constexpr char kMailPrefix[] = "MAIL FROM:<";
constexpr char kEnvelopeSuffix[] = ">\r\n";
// The longest sender: 1001 - 11 - 3 = 987 characters.
constexpr std::size_t kMaxSender = kCommandSize - (sizeof kMailPrefix - 1) - (sizeof kEnvelopeSuffix - 1);

constexpr char kAuthCommand[] = "AUTH PLAIN\r\n";
constexpr char kDataCommand[] = "DATA\r\n";
constexpr char kEndOfData[] = "\r\n.\r\n";
constexpr char kResetCommand[] = "RSET\r\n";
constexpr char kCrLf[] = "\r\n";

// The step a drain that runs out of time inside TLS names.
constexpr char kDrainStep[] = "rest of EHLO reply";

constexpr char kOk[] = "250";
constexpr char kAuthContinue[] = "334";
constexpr char kAuthAccepted[] = "235";
constexpr char kStartData[] = "354";
// RCPT TO replies are judged by number: 251 is "user not local; will
// forward", an acceptance (RFC 5321 section 3.4).
constexpr int kRecipientOk = 250;
constexpr int kRecipientForwarded = 251;

bool HoldsCommandBreaker(const std::string &text) { return !IsSendableAddress(text); }

// Overwrites a buffer that held credentials when the step ends, however it
// ends.
class CWipeOnExit {
 public:
  CWipeOnExit(void *data, std::size_t length) : m_data(data), m_length(length) {}
  ~CWipeOnExit() { SecureZero(m_data, m_length); }
  CWipeOnExit(const CWipeOnExit &) = delete;
  CWipeOnExit &operator=(const CWipeOnExit &) = delete;

 private:
  void *m_data;
  std::size_t m_length;
};

}  // namespace

bool CSmtpConnection::SendHelo() { return SendGreetingCommand("HELO", false); }

bool CSmtpConnection::SendEhlo() { return SendGreetingCommand("EHLO", true); }

bool CSmtpConnection::SendGreetingCommand(const char *verb, bool drain, const char *offers,
                                          bool *offered) {
  if (!IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  char host[kHostNameSize];
  int error = 0;
  if (!m_calls.GetHostName(host, sizeof host, &error)) {
    SetText(FormatText(kTextHostName, error));
    Abort();
    return false;
  }
  char buffer[kCommandSize + 1];
  int length = std::snprintf(buffer, sizeof buffer, "%s %s\r\n", verb, host);
  CCommandResult result = SendCommand(buffer, static_cast<std::size_t>(length), buffer,
                                      kReplyCapacity, kOk, m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, verb);
    Abort();
    return false;
  }
  if (drain && !DrainReply(buffer, result.replyLength, offers, offered)) {
    Abort();
    return false;
  }
  return true;
}

// The lines of a multi-line reply that arrive after its first receive would
// be taken as the reply to the next command. They are read and dropped
// until the final line has come, or for at most ehloDrainMs when it never
// does.
//
// On a plain connection what the drain meets never changes the step's
// result. Inside TLS a drain read that fails or runs out of time fails the
// step: the session broke off in the middle of a reply (a record that does
// not decrypt, bytes that are no record at all, a server or a path that
// holds the rest back), and whatever came next could not be trusted to
// answer the next command. The connection is then closed.
bool CSmtpConnection::DrainReply(const char *reply, std::size_t length, const char *offers,
                                 bool *offered) {
  CEhloKeywordScanner keywords(offers != nullptr ? offers : "");
  CReplyEndScanner scanner;
  // Sets *offered from what has been seen, on every way out.
  auto feed = [&](const char *bytes, std::size_t count) {
    keywords.Feed(bytes, count);
    if (offered != nullptr) *offered = offers != nullptr && keywords.Found();
    return scanner.Feed(bytes, count);
  };
  // Taken before reading: a failed read inside TLS closes the connection.
  bool inTls = m_socket.IsProtected();
  auto broken = [&](IoStatus status, int error) {
    if (!inTls) return true;
    SetText(status == IoStatus::kTimedOut ? FormatText(kTextReplyTimeout, kDrainStep)
                                          : FormatText(kTextTlsReplyBroken, error));
    return false;
  };
  if (feed(reply, length)) return true;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_timeouts.ehloDrainMs);
  char drained[kReplyCapacity];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return broken(IoStatus::kTimedOut, 0);
    std::size_t received = sizeof drained;
    int error = 0;
    IoStatus status = m_socket.Read(drained, &received, static_cast<int>(left.count()), &error);
    if (status != IoStatus::kDone) return broken(status, error);
    // The server closed: the next command finds out.
    if (received == 0) return true;
    if (feed(drained, received)) return true;
  }
}

bool CSmtpConnection::AuthPlain(std::string_view user, std::string_view password) {
  if (!IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  char buffer[kCommandSize + 1];
  CCommandResult result = SendCommand(kAuthCommand, sizeof kAuthCommand - 1, buffer,
                                      kReplyCapacity, kAuthContinue, m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, "AUTH");
    Abort();
    return false;
  }

  // The block, then the reply to the credential line in the same buffer.
  char block[kReplyCapacity];
  CWipeOnExit wipeBlock(block, sizeof block);
  char line[kEncodedCredentialsSize + sizeof kCrLf];
  CWipeOnExit wipeLine(line, sizeof line);
  std::size_t blockLength = user.size() + password.size() + 2;
  std::size_t encoded = kEncodedCredentialsSize;
  bool fits = blockLength <= kMaxCredentialBlock;
  if (fits) {
    block[0] = '\0';
    std::memcpy(block + 1, user.data(), user.size());
    block[1 + user.size()] = '\0';
    std::memcpy(block + 2 + user.size(), password.data(), password.size());
    fits = EncodeBase64(block, blockLength, line, &encoded, kBase64NoBreaks) != 0;
  }
  if (!fits) {
    // Nothing of the credentials was sent; the reply in hand is the 334.
    result.outcome = CommandOutcome::kRefused;
    FailCommand(result, buffer, "AUTH");
    Abort();
    return false;
  }
  std::memcpy(line + encoded, kCrLf, sizeof kCrLf - 1);
  result = SendCommand(line, encoded + sizeof kCrLf - 1, block, kReplyCapacity, kAuthAccepted,
                       m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, block, "AUTH");
    Abort();
    return false;
  }
  return true;
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
  char buffer[kCommandSize + 1];
  int length = std::snprintf(buffer, sizeof buffer, "%s%s%s", kMailPrefix, from.c_str(),
                             kEnvelopeSuffix);
  CCommandResult result = SendCommand(buffer, static_cast<std::size_t>(length), buffer,
                                      kReplyCapacity, kOk, m_timeouts.replyMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, "MAIL");
    return false;
  }

  std::vector<char> list;
  bool built = false;
  try {
    std::size_t size = mail.GetRecipientsLength();
    list.resize(size > 0 ? size : 1);
    std::size_t listLength = list.size();
    built = mail.GetRecipients(list.data(), &listLength);
  } catch (const std::bad_alloc &) {
    built = false;
  }
  if (!built) {
    SetText(kTextRecipientList);
    Reset();
    return false;
  }
  if (!SendRecipients(list.data())) {
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

  // The server is in the data phase from here on; a failure leaves it
  // there and the connection is closed by the caller, so no partial message
  // is ever ended with the final dot.
  m_channel.ClearFailure();
  if (mail.WriteTo(&m_channel, "", kWriteSmtp) == 0) {
    SetText(m_channel.FailureText().empty() ? std::string(kTextWriteMessage)
                                            : m_channel.FailureText());
    return false;
  }

  result = SendCommand(kEndOfData, sizeof kEndOfData - 1, buffer, kReplyCapacity, kOk,
                       m_timeouts.endOfDataMs);
  if (!result.Ok()) {
    FailCommand(result, buffer, "end of data");
    return false;
  }
  return true;
}

bool CSmtpConnection::SendRecipients(const char *list) {
  if (!IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  CEnvelopeElements elements(list != nullptr ? list : "");
  std::string element;
  for (;;) {
    CEnvelopeElements::Result next = elements.Next(element);
    if (next == CEnvelopeElements::kEnd) return true;
    if (next == CEnvelopeElements::kTooLong) {
      SetText(kTextRecipientTooLong);
      return false;
    }
    if (HoldsCommandBreaker(element)) {
      SetText(kTextRecipientInvalid);
      return false;
    }
    char buffer[kRecipientCommandSize + 1];
    int length = std::snprintf(buffer, sizeof buffer, "RCPT TO:<%s%s", element.c_str(),
                               kEnvelopeSuffix);
    if (length < 0 || static_cast<std::size_t>(length) > kRecipientCommandSize) {
      SetText(kTextRecipientTooLong);
      return false;
    }
    CCommandResult result = Exchange(buffer, static_cast<std::size_t>(length), buffer,
                                     kReplyCapacity, m_timeouts.replyMs);
    if (result.Ok()) {
      int number = ReplyNumber(buffer, result.replyLength);
      if (number == kRecipientOk || number == kRecipientForwarded) continue;
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
