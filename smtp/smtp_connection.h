// CSmtpConnection: one TCP connection to the mail server for one message,
// its last-error text, and the steps of the SMTP dialogue run over it.
//
// CSmtpMail::Send creates it closed, Connects (every resolved address in
// turn, then the 220 greeting), runs the steps and closes it; it is never
// reused. Every operation returns true or false and leaves the reason of a
// failure in the last-error text (transport_texts.h), which only Connect
// clears. Every wait on the server is bounded by the CSmtpTimeouts given;
// a wait or write that runs out of time, or a connection the server lost,
// closes the connection. Replies are untrusted: each receive takes at most
// kReplyCapacity bytes, and of a reply only its code is looked at, of an
// EHLO reply also its keywords (ehlo_keywords.h). Credentials are wiped
// from every buffer that held them and never appear in a text.
//
// The platform calls that only a test can make fail (socket start-up, the
// connect's events, the host name and local address) go through a
// CSocketCalls: the connection's own by default, or one the creator gives,
// which must outlive the connection. Connect starts the socket library for
// the connection, and the destructor stops it once the socket is closed.
//
// The session steps (SendHelo ... Reset) are defined in session.cpp, AUTH
// in authentication.cpp, STARTTLS in tls_steps.cpp. Where the server
// offers PIPELINING (RFC 2920), the transaction's MAIL FROM, RCPT TO and
// DATA go out together (pipelining.cpp).
#ifndef MAILVANE_SMTP_SMTP_CONNECTION_H
#define MAILVANE_SMTP_SMTP_CONNECTION_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mail/auth_mechanism.h"
#include "mail/smtp_timeouts.h"
#include "mail/tls_settings.h"
#include "smtp/address_list.h"
#include "smtp/connection_io.h"
#include "smtp/dialogue_trace.h"
#include "smtp/ehlo_keywords.h"
#include "smtp/socket_calls.h"
#include "smtp/socket_channel.h"

class CSmtpMail;

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

// How one receive went: a reply (kMatched, whatever its code), the
// server's close (0 bytes), a time-out or a failure.
CommandOutcome ReceiveOutcome(IoStatus status, std::size_t received);

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

  // Resolves server:port and connects to the first address that answers
  // within timeoutMs (each address has its own), then reads the greeting.
  bool Connect(const char *server, int port, int timeoutMs);
  // The same after the resolution: tries the given addresses in order.
  bool ConnectTo(const CAddressList &addresses, int timeoutMs);

  // Orderly close; nothing on a closed connection. No QUIT is sent.
  void Disconnect();
  // Close after a failure.
  void Abort();

  bool IsConnected() const { return m_socket.IsOpen(); }
  std::string GetLastErrorText() const { return m_lastError; }

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

  // The two ways the dialogue's bytes travel. WriteCommand writes one or
  // several command lines within the write limit; a trace shows them as
  // written, or shown in their place when it is not null (credentials,
  // the message). Receive reads once (CConnectionIo::Read); a trace shows
  // the bytes as reply lines.
  IoStatus WriteCommand(const char *bytes, std::size_t length, const char *shown, int *error);
  IoStatus Receive(char *buffer, std::size_t *length, int timeoutMs, int *error);

  // The dialogue, in its order.
  bool SendHelo();
  bool SendEhlo();
  // What the last EHLO reply announced; empty after HELO, or before EHLO.
  const CEhloCapabilities &Offer() const { return m_offer; }
  // AUTH with the mechanism asked for, or with kChoose the one the last
  // EHLO offer allows (sasl_mechanisms.h); secret is the password or the
  // bearer token. Fails before any credential is written when no
  // mechanism fits.
  bool Authenticate(AuthMechanism mechanism, std::string_view user, std::string_view secret);
  bool AuthPlain(std::string_view user, std::string_view password);
  bool SendMail(CSmtpMail &mail);
  bool SendRecipients(const char *list);
  bool Reset();

  // STARTTLS (tls_steps.cpp): EHLO, its reply read in full for the
  // STARTTLS keyword, STARTTLS and its 220, then the handshake. Any failure
  // closes the connection before anything else is sent.
  bool StartTls();
  bool IsProtected() const { return m_socket.IsProtected(); }

 private:
  bool Handshake();
  bool ReadGreeting();
  // With drain, the whole EHLO reply is read and its offer kept.
  bool SendGreetingCommand(const char *verb, bool drain);
  // False when the reply broke off inside TLS (the text is set).
  bool DrainReply(const char *reply, std::size_t length);
  // Reads on, for at most limitMs, until the reply whose first receive is
  // given has its final line; keywords (when given) sees every byte.
  // kMatched when the final line came.
  CCommandResult ReadReplyEnd(const char *first, std::size_t length, int limitMs,
                              CEhloReplyReader *keywords);
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
  // Writes the command (or commands) in full, within the write limit, as
  // WriteCommand does; the outcome as that of a command.
  CCommandResult WriteCommands(const char *command, std::size_t length,
                               const char *shown = nullptr);
  // Leaves the text for a failed command or reply; closes the connection
  // when it can no longer be used (time-outs, lost connection).
  void FailCommand(const CCommandResult &result, const char *reply, const char *step);
  void SetText(const std::string &text) { m_lastError = text; }

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
  CEhloCapabilities m_offer;
  std::string m_lastError;
  CDialogueTrace m_trace;
};

#endif
