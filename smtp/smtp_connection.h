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
// connection the server lost, closes the connection. A command that holds
// a credential is traced as the text shown in its place, never as written.
//
// Every reply, the greeting first, is read by the connection's one reply
// reader (reply_reader.h): to its last line however the receives cut it,
// bounded in length and time, and judged by its last line's code. Replies
// are untrusted. Bytes the server sent that no reply has taken answer no
// command: a command is not written while any wait (WriteCommands fails
// with kOutOfTurn), so they are never taken as the reply to it.
//
// Every wait, the resolution included, asks the call's cancel probe when
// the mail gave one (cancel_gate.h); a wait it stops ends as kCancelled,
// leaves kTextCallCancelled and closes the connection at once, with no
// further command (no RSET, no QUIT). After StopAskingCancel the waits are
// waited out.
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
#include "smtp/cancel_gate.h"
#include "smtp/connection_io.h"
#include "smtp/dialogue_trace.h"
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
  kReplyTooLong,   // the reply passed its bound (reply_reader.h)
  kOutOfTurn,      // bytes that answer no command were waiting when it was due
  kCancelled,      // the call was cancelled while it was written or awaited
};

struct CCommandResult {
  CommandOutcome outcome = CommandOutcome::kNoReply;
  int error = 0;                // platform error of a failed write or receive
  std::size_t replyLength = 0;  // bytes of the reply kept, of one cut off too
  CReplyCode code;              // what the reply is judged by
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
  // What every wait asks; none (the default) for waits that only end. The
  // probe belongs to the caller and must outlive the connection.
  void SetCancel(CCancelProbe *probe) { m_cancel.SetProbe(probe); }
  // The call was cancelled during a wait of this connection.
  bool Cancelled() const { return m_cancel.Said(); }
  // The waits from here on are waited out, whatever the probe says.
  void StopAskingCancel() { m_cancel.StopAsking(); }

  // Resolves server:port (server a name of source, charset/system_name.h)
  // and connects to the first address that answers within timeoutMs (each
  // address has its own), then reads the greeting.
  bool Connect(const char *server, int port, int timeoutMs,
               TextSource source = TextSource::kThreadCodePage);
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
  // The last line of the last whole reply read (of its first
  // kReplyCapacity bytes, without the line end), and that of the reply a
  // step was refused with; empty when there was none. Untrusted text.
  const std::string &LastReply() const { return m_lastReply; }
  const std::string &RefusingReply() const { return m_refusingReply; }

  // The name this end gives in HELO and EHLO (greeting_name.h), from the
  // host name or the connection's own address.
  bool GreetingName(std::string *name, int *error);

  // The channel the message is written through, with the write time-out.
  CSocketChannel *Channel() { return &m_channel; }

  // Writes command (length bytes) and reads its reply into reply
  // (kReplyCapacity bytes); kMatched when its code is expected (three
  // characters). Sets no text. shown (when not null) is what a trace shows
  // in place of the command.
  CCommandResult SendCommand(const char *command, std::size_t length, char *reply,
                             const char *expected, int replyTimeoutMs,
                             const char *shown = nullptr);
  // Writes command and reads its reply as wait says; kMatched means only
  // that a whole reply came.
  CCommandResult Exchange(const char *command, std::size_t length, char *reply,
                          const CReplyWait &wait, const char *shown = nullptr);
  // Writes the command (or commands) in full, within the write limit, when
  // nothing is Waiting; the outcome as that of a command.
  CCommandResult WriteCommands(const char *command, std::size_t length,
                               const char *shown = nullptr);
  // The next reply, to a command written before (pipelined commands take
  // theirs in turn); kMatched when a whole reply came. Sets no text.
  CCommandResult ReadReply(char *reply, const CReplyWait &wait);
  // The server has sent bytes that no reply has taken: held by the reader,
  // or waiting on the plain socket (inside TLS a record may be the
  // session's own, so only what the reader holds counts there).
  bool Waiting() const { return m_reader.Holds() || m_socket.HasPlainInput(); }
  // True when nothing is Waiting; otherwise leaves the text of kOutOfTurn
  // for step and closes the connection.
  bool CheckTurn(const char *step);
  // Leaves the text for a failed command or reply; closes the connection
  // when it can no longer be used (time-outs, lost connection, bytes out of
  // turn). step names the command in a time-out's text.
  void FailCommand(const CCommandResult &result, const char *step);

 private:
  // The reader's byte source: the connection's receives.
  class CReceives : public CReplySource {
   public:
    explicit CReceives(CSmtpConnection &connection) : m_connection(connection) {}
    IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error) override {
      return m_connection.Receive(buffer, length, timeoutMs, error);
    }

   private:
    CSmtpConnection &m_connection;
  };

  bool ReadGreeting();
  void KeepLastLine(const char *reply, std::size_t length);
  // Writes one or several command lines within the write limit; a trace
  // shows them as written, or shown in their place when it is not null
  // (credentials, the message).
  IoStatus WriteCommand(const char *bytes, std::size_t length, const char *shown, int *error);
  // Reads once (CConnectionIo::Read); a trace shows the bytes as reply
  // lines.
  IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error);

  CSocketCalls m_realCalls;
  CSocketCalls &m_calls;
  CCancelGate m_cancel;
  CConnectionIo m_socket;
  CSocketChannel m_channel;
  CReceives m_receives{*this};
  CReplyReader m_reader{m_receives};
  CSmtpTimeouts m_timeouts;
  CTlsSettings m_tls;
  // Connect started the socket library; the destructor stops it.
  bool m_socketsStarted = false;
  // The name and port the caller connected to: what the certificate must
  // name, and what OAUTHBEARER tells the server.
  std::string m_serverName;
  TextSource m_serverSource = TextSource::kThreadCodePage;
  int m_port = 0;
  std::string m_lastError;
  std::string m_lastReply;
  std::string m_refusingReply;
  CDialogueTrace m_trace;
};

#endif
