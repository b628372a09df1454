// The connection: connect over the resolved addresses, the greeting, the
// close, and the exchange of one command with its reply.
#include "smtp/smtp_connection.h"

#include "smtp/reply.h"
#include "smtp/transport_texts.h"

namespace {

// The code of the greeting, and the step name a late one shows.
constexpr char kGreetingCode[] = "220";
constexpr char kGreetingStep[] = "greeting";

// What a trace shows of each address tried.
constexpr char kConnectingEvent[] = "connecting to ";
constexpr char kConnectedEvent[] = "connected";

}  // namespace

CommandOutcome ReceiveOutcome(IoStatus status, std::size_t received) {
  switch (status) {
    case IoStatus::kDone:
      return received == 0 ? CommandOutcome::kClosed : CommandOutcome::kMatched;
    case IoStatus::kTimedOut:
      return CommandOutcome::kReplyTimedOut;
    case IoStatus::kFailed:
      break;
  }
  return CommandOutcome::kNoReply;
}

CSmtpConnection::CSmtpConnection() : CSmtpConnection(m_realCalls) {}

CSmtpConnection::CSmtpConnection(CSocketCalls &calls) : m_calls(calls), m_channel(m_socket) {
  SetTimeouts(CSmtpTimeouts());
}

CSmtpConnection::~CSmtpConnection() {
  Disconnect();
  if (m_socketsStarted) m_calls.StopSockets();
}

void CSmtpConnection::SetTimeouts(const CSmtpTimeouts &timeouts) {
  m_timeouts = timeouts;
  m_channel.SetWriteTimeout(timeouts.writeMs);
}

bool CSmtpConnection::Connect(const char *server, int port, int timeoutMs) {
  m_lastError.clear();
  if (IsConnected()) {
    SetText(kTextAlreadyConnected);
    return false;
  }
  int error = 0;
  if (!m_socketsStarted) {
    if (!m_calls.StartSockets(&error)) {
      SetText(FormatText(kTextStartup, error));
      return false;
    }
    m_socketsStarted = true;
  }
  m_serverName = server != nullptr ? server : "";
  m_port = port;
  CAddressList addresses;
  error = addresses.Resolve(server != nullptr ? server : "", port, 0, AddressFamilyUnspecified(),
                            SocketTypeStream(), 0);
  if (error != 0) {
    SetText(FormatText(kTextResolve, error));
    return false;
  }
  return ConnectTo(addresses, timeoutMs);
}

bool CSmtpConnection::ConnectTo(const CAddressList &addresses, int timeoutMs) {
  if (IsConnected()) {
    SetText(kTextAlreadyConnected);
    return false;
  }
  for (std::size_t i = 0; i < addresses.Count() && !IsConnected(); ++i) {
    if (m_trace.On()) m_trace.Event(kConnectingEvent + AddressText(addresses.At(i)));
    int error = 0;
    ConnectStep step = m_socket.ConnectTo(addresses.At(i), timeoutMs, m_calls, &error);
    // Without a socket, or without its record, no other address can do
    // better.
    bool last = false;
    switch (step) {
      case ConnectStep::kConnected:
        break;
      case ConnectStep::kCreateSocket:
        SetText(FormatText(kTextCreateSocket, error));
        last = true;
        break;
      case ConnectStep::kCreateEvent:
        SetText(FormatText(kTextCreateEvent, error));
        break;
      case ConnectStep::kSelect:
        SetText(FormatText(kTextSelect, error));
        break;
      case ConnectStep::kStart:
        SetText(FormatText(kTextSocket, error));
        break;
      case ConnectStep::kWait:
        SetText(FormatText(kTextConnectTimeout, error));
        break;
      case ConnectStep::kResult:
        SetText(FormatText(kTextConnectResult, error));
        break;
      case ConnectStep::kIoEvent:
        SetText(FormatText(kTextCreateEvent, error));
        last = true;
        break;
    }
    m_trace.Event(step == ConnectStep::kConnected ? kConnectedEvent : m_lastError);
    if (last) {
      Abort();
      return false;
    }
  }
  // The text is that of the last address that failed.
  if (!IsConnected()) return false;
  // With implicit TLS not even the greeting is read in the clear.
  if (m_tls.mode == TlsMode::kImplicit && !Handshake()) return false;
  if (ReadGreeting()) return true;
  Abort();
  return false;
}

bool CSmtpConnection::ReadGreeting() {
  char reply[kReplyCapacity];
  std::size_t length = sizeof reply;
  int error = 0;
  CCommandResult result;
  IoStatus status = Receive(reply, &length, m_timeouts.replyMs, &error);
  result.outcome = ReceiveOutcome(status, length);
  if (result.Ok() && !ReplyCodeIs(reply, length, kGreetingCode))
    result.outcome = CommandOutcome::kRefused;
  result.error = error;
  result.replyLength = length;
  if (result.Ok()) return true;
  FailCommand(result, reply, kGreetingStep);
  return false;
}

void CSmtpConnection::Disconnect() {
  m_trace.EndReply();
  m_socket.Close();
}

void CSmtpConnection::Abort() {
  m_trace.EndReply();
  m_socket.Close();
}

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
  }
  return result;
}

CCommandResult CSmtpConnection::Exchange(const char *command, std::size_t length, char *reply,
                                         std::size_t capacity, int replyTimeoutMs,
                                         const char *shown) {
  CCommandResult result = WriteCommands(command, length, shown);
  if (!result.Ok()) return result;
  std::size_t received = capacity;
  IoStatus status = Receive(reply, &received, replyTimeoutMs, &result.error);
  result.outcome = ReceiveOutcome(status, received);
  if (result.Ok()) result.replyLength = received;
  return result;
}

CCommandResult CSmtpConnection::SendCommand(const char *command, std::size_t length, char *reply,
                                            std::size_t capacity, const char *expected,
                                            int replyTimeoutMs, const char *shown) {
  CCommandResult result = Exchange(command, length, reply, capacity, replyTimeoutMs, shown);
  if (result.Ok() && !ReplyCodeIs(reply, result.replyLength, expected))
    result.outcome = CommandOutcome::kRefused;
  return result;
}

void CSmtpConnection::FailCommand(const CCommandResult &result, const char *reply,
                                  const char *step) {
  switch (result.outcome) {
    case CommandOutcome::kMatched:
      return;
    case CommandOutcome::kRefused:
      SetText(FormatText(kTextResponseCode, ReplyCodeText(reply, result.replyLength)));
      return;
    case CommandOutcome::kNotSent:
      SetText(FormatText(kTextSendCommand, result.error));
      break;
    case CommandOutcome::kWriteTimedOut:
      SetText(kTextWriteTimeout);
      break;
    case CommandOutcome::kNoReply:
      SetText(FormatText(kTextReceive, result.error));
      break;
    case CommandOutcome::kClosed:
      SetText(kTextClosedByServer);
      break;
    case CommandOutcome::kReplyTimedOut:
      SetText(FormatText(kTextReplyTimeout, step));
      break;
    case CommandOutcome::kReplyTooLong:
      SetText(FormatText(kTextReplyTooLong, step));
      break;
  }
  // The connection can no longer carry a dialogue: a reply may still be on
  // its way, or the server is gone.
  Abort();
}
