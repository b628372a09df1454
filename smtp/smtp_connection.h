// CSmtpConnection: one TCP connection to the mail server for one message,
// and what travels over it: the connect over the resolved addresses, the
// TLS handshake (before the greeting with implicit TLS, after STARTTLS
// otherwise), the 220 greeting, commands written and replies received
// within their time limits, the last-error text, the close and the trace
// of the bytes. It knows bytes, replies and limits, never which command
// comes next: the dialogue (session.h) runs over it and is not known to it.
//
// CSmtpMail::Send creates it closed, Connects (every resolved address in
// turn, then the greeting), lets the dialogue run and closes it; it is
// never reused. Every operation returns true or false (or the outcome of a
// command) and leaves the reason of a failure in the last-error text
// (transport_texts.h), which only Connect clears and which the dialogue
// sets through it. Every wait on the server is bounded by the
// CSmtpTimeouts given; a wait or write that runs out of time, or a
// connection the server lost, closes the connection. Replies are
// untrusted: each receive takes at most kReplyCapacity bytes, the rest of
// a multi-line reply is bounded in time, and a pipelined reply in length
// (reply_reader.h). A command that holds a credential is traced as the
// text shown in its place, never as written.
//
// The platform calls that only a test can make fail (socket start-up, the
// connect's events, the host name and local address) go through a
// CSocketCalls: the connection's own by default, or one the creator gives,
// which must outlive the connection. Connect starts the socket library for
// the connection, and the destructor stops it once the socket is closed.
#ifndef MAILVANE_SMTP_SMTP_CONNECTION_H
#define MAILVANE_SMTP_SMTP_CONNECTION_H

#include <cstddef>
#include <string>

#include "mail/smtp_timeouts.h"
#include "mail/tls_settings.h"
#include "smtp/address_list.h"
#include "smtp/connection_io.h"
#include "smtp/dialogue_trace.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/reply_reader.h"
#include "smtp/socket_calls.h"
#include "smtp/socket_channel.h"

// How one command and its reply went.
enum class CommandOutcome {
  kMatched,        // reply received with the expected code
  kRefused,        // reply received with another code
  kNotSent,        // the command was not written in full
  kWriteTimedOut,  // the socket took no more of it within the write limit
  kNoReply,        // the receive failed
  kClosed,         // the server closed the connection instead of replying
  kReplyTimedOut,  // no reply within the step's limit
  kReplyTooLong,   // a pipelined reply passed its bound (reply_reader.h)
};

struct CCommandResult {
  CommandOutcome outcome = CommandOutcome::kNoReply;
  int error = 0;                // platform error of a failed write or receive
  std::size_t replyLength = 0;  // bytes received
  bool Ok() const { return outcome == CommandOutcome::kMatched; }
};

class CSmtpConnection {
 public:
  CSmtpConnection();
  explicit CSmtpConnection(CSocketCalls &calls);
  ~CSmtpConnection();
  CSmtpConnection(const CSmtpConnection &) = delete;
  CSmtpConnection &operator=(const CSmtpConnection &) = delete;

  void SetTimeouts(const CSmtpTimeouts &timeouts);
  // How the connection is protected; set before Connect. With kImplicit,
  // ConnectTo runs the handshake before it reads the greeting.
  void SetTls(const CTlsSettings &tls) { m_tls = tls; }
  const CSmtpTimeouts &GetTimeouts() const { return m_timeouts; }
  // Where the dialogue is reported; none (the default) for no trace. The
  // sink belongs to the caller and must outlive the connection.
  void SetTrace(CTraceSink *sink) { m_trace.SetSink(sink); }
  // A trace is kept: worth building what it shows in place of a command.
  bool Tracing() const { return m_trace.On(); }

  // Resolves server:port and connects to the first address that answers
  // within timeoutMs (each address has its own), then reads the greeting.
  bool Connect(const char *server, int port, int timeoutMs);
  // The same after the resolution: tries the given addresses in order.
  bool ConnectTo(const CAddressList &addresses, int timeoutMs);
  // The name and port the caller connected to.
  const std::string &ServerName() const { return m_serverName; }
  int Port() const { return m_port; }

  // The TLS handshake on the open connection, after the server's 220 to
  // STARTTLS: bounded as a whole by the reply limit, each record written
  // by the write limit; the certificate is checked as SetTls asked. There
  // is no fallback: a failure closes the connection.
  bool Handshake();
  bool IsProtected() const { return m_socket.IsProtected(); }

  // Orderly close; nothing on a closed connection. No QUIT is sent. A
  // reply line not yet traced is traced here; the destructor only closes
  // the socket and traces nothing.
  void Disconnect();
  // Close after a failure.
  void Abort();

  bool IsConnected() const { return m_socket.IsOpen(); }
  std::string GetLastErrorText() const { return m_lastError; }
  void SetLastErrorText(const std::string &text) { m_lastError = text; }

  // The name this end gives in HELO and EHLO (greeting_name.h), from the
  // host name or the connection's own address.
  bool GreetingName(std::string *name, int *error);

  // The channel the message is written through, with the write time-out.
  CSocketChannel *Channel() { return &m_channel; }

  // Writes command (length bytes) and receives one reply of at most
  // capacity bytes into reply; kMatched when its code is expected (three
  // characters). Sets no text. shown (when not null) is what a trace shows
  // in place of the command.
  CCommandResult SendCommand(const char *command, std::size_t length, char *reply,
                             std::size_t capacity, const char *expected, int replyTimeoutMs,
                             const char *shown = nullptr);
  // Writes command and receives one reply; kMatched means only that a
  // reply arrived.
  CCommandResult Exchange(const char *command, std::size_t length, char *reply,
                          std::size_t capacity, int replyTimeoutMs, const char *shown = nullptr);
  // Writes the command (or commands) in full, within the write limit, as
  // WriteCommand does; the outcome as that of a command.
  CCommandResult WriteCommands(const char *command, std::size_t length,
                               const char *shown = nullptr);
  // Reads on, for at most limitMs, until the reply whose first receive is
  // given has its final line; keywords (when given) sees every byte.
  // kMatched when the final line came.
  CCommandResult ReadReplyEnd(const char *first, std::size_t length, int limitMs,
                              CEhloReplyReader *keywords);
  // Leaves the text for a failed command or reply; closes the connection
  // when it can no longer be used (time-outs, lost connection). step names
  // the command in a time-out's text.
  void FailCommand(const CCommandResult &result, const char *reply, const char *step);

  // The two ways the dialogue's bytes travel. WriteCommand writes one or
  // several command lines within the write limit; a trace shows them as
  // written, or shown in their place when it is not null (credentials,
  // the message). Receive reads once (CConnectionIo::Read); a trace shows
  // the bytes as reply lines.
  IoStatus WriteCommand(const char *bytes, std::size_t length, const char *shown, int *error);
  IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error);

 private:
  bool ReadGreeting();
  // One receive of at most capacity bytes into reply; kMatched when a
  // reply came, whatever its code.
  CCommandResult ReceiveReply(char *reply, std::size_t capacity, int timeoutMs);

  CSocketCalls m_realCalls;
  CSocketCalls &m_calls;
  CConnectionIo m_socket;
  CSocketChannel m_channel;
  CSmtpTimeouts m_timeouts;
  CTlsSettings m_tls;
  // Connect started the socket library; the destructor stops it.
  bool m_socketsStarted = false;
  // The name and port the caller connected to: what the certificate must
  // name, and what OAUTHBEARER tells the server.
  std::string m_serverName;
  int m_port = 0;
  std::string m_lastError;
  CDialogueTrace m_trace;
};

// The replies to pipelined commands (RFC 2920), taken one by one from the
// connection's receives as reply_reader.h reads them: a reply split over
// receives, or several in one. One reader serves one transaction; what a
// receive brought beyond a reply is kept for the next.
class CPipelinedReplies : private CReplySource {
 public:
  explicit CPipelinedReplies(CSmtpConnection &connection)
      : m_connection(connection), m_reader(*this) {}

  // The next reply within timeoutMs into reply (kReplyCapacity bytes), as
  // the outcome of its command; sets no text.
  CCommandResult Next(char *reply, int timeoutMs);

 private:
  IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error) override {
    return m_connection.Receive(buffer, length, timeoutMs, error);
  }

  CSmtpConnection &m_connection;
  CReplyReader m_reader;
};

#endif
