// The connection: connect over the resolved addresses, the TLS handshake,
// the greeting, the close, and the exchange of commands with their
// replies, all of which the one reply reader reads.
//
// Nothing the server sent in the clear survives into TLS: the dialogue
// checks its turn after the 220 to STARTTLS, so that plaintext the reader
// holds or the socket has waiting fails the step, and any that comes later
// fails the handshake (the command injection of RFC 3207 section 6 finds no
// buffer to hide in). The reader is emptied with every close.
#include "smtp/smtp_connection.h"

#include "smtp/greeting_name.h"
#include "smtp/reply.h"
#include "smtp/transport_texts.h"

namespace {

// The code of the greeting, and the step name a late one shows.
constexpr char kGreetingCode[] = "220";
constexpr char kGreetingStep[] = "greeting";

// What a trace shows of each address tried.
constexpr char kConnectingEvent[] = "connecting to ";
constexpr char kConnectedEvent[] = "connected";

// Each row of a table below names the outcome of its own index, and every
// outcome up to last has its row.
template <typename Row, std::size_t kRows, typename Outcome>
constexpr bool OneRowPerOutcome(const Row (&table)[kRows], Outcome last) {
  std::size_t index = 0;
  for (const Row &row : table)
    if (static_cast<std::size_t>(row.outcome) != index++) return false;
  return index == static_cast<std::size_t>(last) + 1;
}

// What a connect step that fails leaves as the text (with the platform's
// error for %d), and whether the addresses after it are still tried:
// without a socket, or without its record, no other address can do
// better.
struct CConnectFailure {
  ConnectStep outcome;
  const char *text;  // null: the step did not fail
  bool last;
};

constexpr CConnectFailure kConnectFailures[] = {
    {ConnectStep::kConnected, nullptr, false},
    {ConnectStep::kCreateSocket, kTextCreateSocket, true},
    {ConnectStep::kCreateEvent, kTextCreateEvent, false},
    {ConnectStep::kSelect, kTextSelect, false},
    {ConnectStep::kStart, kTextSocket, false},
    {ConnectStep::kWait, kTextConnectTimeout, false},
    {ConnectStep::kResult, kTextConnectResult, false},
    {ConnectStep::kIoEvent, kTextCreateEvent, true},
    {ConnectStep::kCancelled, kTextCallCancelled, true},
};

static_assert(OneRowPerOutcome(kConnectFailures, ConnectStep::kCancelled),
              "one row per connect step, in the order of ConnectStep");

// What a handshake that did not start leaves as the text (with the
// platform's error for %d).
struct CTlsFailure {
  TlsStart outcome;
  const char *text;  // null: the session started
};

constexpr CTlsFailure kTlsFailures[] = {
    {TlsStart::kStarted, nullptr},
    {TlsStart::kSetup, kTextTlsSetup},
    {TlsStart::kTimedOut, kTextTlsTimeout},
    {TlsStart::kFailed, kTextTlsHandshake},
    {TlsStart::kClosed, kTextTlsClosed},
    {TlsStart::kOldProtocol, kTextTlsOldProtocol},
    {TlsStart::kUntrusted, kTextTlsUntrusted},
    {TlsStart::kNameMismatch, kTextTlsNameMismatch},
    {TlsStart::kCancelled, kTextCallCancelled},
};
static_assert(OneRowPerOutcome(kTlsFailures, TlsStart::kCancelled),
              "one row per handshake outcome, in the order of TlsStart");

// The outcome of a handshake as a trace shows it:
// "TLS 1.3 TLS_AES_256_GCM_SHA384, certificate CN=mx.example.com, verified".
std::string TlsEvent(const CTlsDescription &tls) {
  return tls.protocol + " " + tls.cipher + ", certificate " +
         (tls.subject.empty() ? std::string("(none)") : tls.subject) +
         (tls.verified ? ", verified" : ", not verified");
}

// How a reply read went: a whole reply (kMatched, whatever its code), or
// what cut it off.
CommandOutcome ReadOutcome(ReplyRead read) {
  switch (read) {
    case ReplyRead::kReply:
      return CommandOutcome::kMatched;
    case ReplyRead::kClosed:
      return CommandOutcome::kClosed;
    case ReplyRead::kTimedOut:
      return CommandOutcome::kReplyTimedOut;
    case ReplyRead::kTooLong:
      return CommandOutcome::kReplyTooLong;
    case ReplyRead::kCancelled:
      return CommandOutcome::kCancelled;
    case ReplyRead::kFailed:
      break;
  }
  return CommandOutcome::kNoReply;
}

}  // namespace

CSmtpConnection::CSmtpConnection() : CSmtpConnection(m_realCalls) {}

CSmtpConnection::CSmtpConnection(CSocketCalls &calls) : m_calls(calls), m_channel(m_socket) {
  SetTimeouts(CSmtpTimeouts());
  m_socket.SetCancel(&m_cancel);
  m_channel.SetCancel(&m_cancel);
}

CSmtpConnection::~CSmtpConnection() {
  // No trace here: the trace allocates, and a destructor must not fail
  // (on the way out of an exception it would end the process). Whoever
  // ends the dialogue disconnects first; a reply line still unreported
  // when an exception leaves is dropped.
  m_socket.Close();
  if (m_socketsStarted) m_calls.StopSockets();
}

void CSmtpConnection::SetTimeouts(const CSmtpTimeouts &timeouts) {
  m_timeouts = timeouts;
  m_channel.SetWriteTimeout(timeouts.writeMs);
}

bool CSmtpConnection::Connect(const char *server, int port, int timeoutMs, TextSource source) {
  m_lastError.clear();
  if (IsConnected()) {
    SetLastErrorText(kTextAlreadyConnected);
    return false;
  }
  int error = 0;
  if (!m_socketsStarted) {
    if (!m_calls.StartSockets(&error)) {
      SetLastErrorText(FormatText(kTextStartup, error));
      return false;
    }
    m_socketsStarted = true;
  }
  m_serverName = server != nullptr ? server : "";
  m_serverSource = source;
  m_port = port;
  CAddressList addresses;
  error = addresses.Resolve(m_serverName.c_str(), port, 0, AddressFamilyUnspecified(),
                            SocketTypeStream(), 0, source,
                            m_cancel.HasProbe() ? &m_cancel : nullptr);
  if (error != 0) {
    SetLastErrorText(Cancelled() ? std::string(kTextCallCancelled)
                                 : FormatText(kTextResolve, error));
    return false;
  }
  return ConnectTo(addresses, timeoutMs);
}

bool CSmtpConnection::ConnectTo(const CAddressList &addresses, int timeoutMs) {
  if (IsConnected()) {
    SetLastErrorText(kTextAlreadyConnected);
    return false;
  }
  for (std::size_t i = 0; i < addresses.Count() && !IsConnected(); ++i) {
    if (m_trace.On()) m_trace.Event(kConnectingEvent + AddressText(addresses.At(i)));
    int error = 0;
    ConnectStep step = m_socket.ConnectTo(addresses.At(i), timeoutMs, m_calls, &error);
    const CConnectFailure &failure = kConnectFailures[static_cast<std::size_t>(step)];
    if (failure.text == nullptr) {
      m_trace.Event(kConnectedEvent);
      continue;
    }
    SetLastErrorText(FormatText(failure.text, error));
    m_trace.Event(m_lastError);
    if (failure.last) {
      Abort();
      return false;
    }
  }
  // The text is that of the last address that failed.
  if (!IsConnected()) return false;
  m_reader.Clear();
  // With implicit TLS not even the greeting is read in the clear.
  if (m_tls.mode == TlsMode::kImplicit && !Handshake()) return false;
  if (ReadGreeting()) return true;
  Abort();
  return false;
}

bool CSmtpConnection::ReadGreeting() {
  char reply[kReplyCapacity];
  CCommandResult result = ReadReply(reply, {m_timeouts.replyMs});
  if (result.Ok() && !result.code.Is(kGreetingCode)) result.outcome = CommandOutcome::kRefused;
  if (result.Ok()) return true;
  FailCommand(result, kGreetingStep);
  return false;
}

// The handshake is a wait on the server as a reply is: the reply limit
// bounds it as a whole, and each record written gets the write limit.
bool CSmtpConnection::Handshake() {
  int error = 0;
  TlsStart start = m_socket.StartTls(m_serverName.c_str(), m_serverSource, m_tls.verify,
                                     m_tls.trustFile,
                                     m_timeouts.replyMs, &error);
  const CTlsFailure &failure = kTlsFailures[static_cast<std::size_t>(start)];
  if (failure.text == nullptr) {
    if (m_trace.On()) m_trace.Event(TlsEvent(m_socket.TlsDescription()));
    return true;
  }
  SetLastErrorText(FormatText(failure.text, error));
  m_trace.Event(m_lastError);
  Abort();
  return false;
}

bool CSmtpConnection::GreetingName(std::string *name, int *error) {
  return ChooseGreetingName(m_calls, m_socket.Handle(), name, error);
}

void CSmtpConnection::Disconnect() {
  m_trace.EndReply();
  m_socket.Close();
  m_reader.Clear();
}

void CSmtpConnection::Abort() { Disconnect(); }

IoStatus CSmtpConnection::WriteCommand(const char *bytes, std::size_t length, const char *shown,
                                       int *error) {
  if (m_trace.On()) {
    if (shown != nullptr)
      m_trace.Shown(shown);
    else
      m_trace.Commands(bytes, length);
  }
  return m_socket.Write(bytes, length, m_timeouts.writeMs, error);
}

IoStatus CSmtpConnection::Receive(char *buffer, std::size_t *length, int timeoutMs, int *error) {
  IoStatus status = m_socket.Read(buffer, length, timeoutMs, error);
  if (status == IoStatus::kDone) m_trace.Reply(buffer, *length);
  return status;
}

CCommandResult CSmtpConnection::WriteCommands(const char *command, std::size_t length,
                                              const char *shown) {
  CCommandResult result;
  if (Waiting()) {
    result.outcome = CommandOutcome::kOutOfTurn;
    return result;
  }
  switch (WriteCommand(command, length, shown, &result.error)) {
    case IoStatus::kDone:
      result.outcome = CommandOutcome::kMatched;
      break;
    case IoStatus::kTimedOut:
      result.outcome = CommandOutcome::kWriteTimedOut;
      break;
    case IoStatus::kFailed:
      result.outcome = CommandOutcome::kNotSent;
      break;
    case IoStatus::kCancelled:
      result.outcome = CommandOutcome::kCancelled;
      break;
  }
  return result;
}

CCommandResult CSmtpConnection::Exchange(const char *command, std::size_t length, char *reply,
                                         const CReplyWait &wait, const char *shown) {
  CCommandResult result = WriteCommands(command, length, shown);
  if (!result.Ok()) return result;
  return ReadReply(reply, wait);
}

CCommandResult CSmtpConnection::ReadReply(char *reply, const CReplyWait &wait) {
  CCommandResult result;
  result.outcome =
      ReadOutcome(m_reader.Next(reply, &result.replyLength, &result.code, wait, &result.error));
  if (result.Ok()) KeepLastLine(reply, result.replyLength);
  return result;
}

void CSmtpConnection::KeepLastLine(const char *reply, std::size_t length) {
  // A whole reply ends with the line end of its last line. Of a reply
  // longer than the bytes kept, the last line that ended within them, or
  // the start of the first when none did.
  std::size_t end = length;
  if (end > 0 && reply[end - 1] != '\n') {
    while (end > 0 && reply[end - 1] != '\n') --end;
    if (end == 0) end = length;
  }
  while (end > 0 && (reply[end - 1] == '\n' || reply[end - 1] == '\r')) --end;
  std::size_t start = end;
  while (start > 0 && reply[start - 1] != '\n') --start;
  m_lastReply.assign(reply + start, end - start);
}

CCommandResult CSmtpConnection::SendCommand(const char *command, std::size_t length, char *reply,
                                            const char *expected, int replyTimeoutMs,
                                            const char *shown) {
  CCommandResult result = Exchange(command, length, reply, {replyTimeoutMs}, shown);
  if (result.Ok() && !result.code.Is(expected)) result.outcome = CommandOutcome::kRefused;
  return result;
}

bool CSmtpConnection::CheckTurn(const char *step) {
  if (!Waiting()) return true;
  CCommandResult result;
  result.outcome = CommandOutcome::kOutOfTurn;
  FailCommand(result, step);
  return false;
}

void CSmtpConnection::FailCommand(const CCommandResult &result, const char *step) {
  switch (result.outcome) {
    case CommandOutcome::kMatched:
      return;
    case CommandOutcome::kRefused:
      SetLastErrorText(FormatText(kTextResponseCode, result.code.Text()));
      m_refusingReply = m_lastReply;
      return;
    case CommandOutcome::kNotSent:
      SetLastErrorText(FormatText(kTextSendCommand, result.error));
      break;
    case CommandOutcome::kWriteTimedOut:
      SetLastErrorText(kTextWriteTimeout);
      break;
    case CommandOutcome::kNoReply:
      SetLastErrorText(FormatText(kTextReceive, result.error));
      break;
    case CommandOutcome::kClosed:
      SetLastErrorText(kTextClosedByServer);
      break;
    case CommandOutcome::kReplyTimedOut:
      SetLastErrorText(FormatText(kTextReplyTimeout, step));
      break;
    case CommandOutcome::kReplyTooLong:
      SetLastErrorText(FormatText(kTextReplyTooLong, step));
      break;
    case CommandOutcome::kOutOfTurn:
      SetLastErrorText(FormatText(kTextOutOfTurn, step));
      break;
    case CommandOutcome::kCancelled:
      SetLastErrorText(kTextCallCancelled);
      break;
  }
  // The connection can no longer carry a dialogue: a reply may still be on
  // its way, or the server is gone.
  Abort();
}
