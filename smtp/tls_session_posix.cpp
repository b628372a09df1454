// TLS through OpenSSL. OpenSSL never sees the socket itself: a BIO of our
// own carries its records through CSocketIo, so every wait of the handshake
// and of each read and write is a bounded wait of the socket layer, and a
// time-out is told apart from a failure.
//
// Each session has its own SSL_CTX and BIO method: nothing is shared
// between the threads of the server. OpenSSL cleanses the keys when the
// SSL object is freed; our own buffers hold no key material.
#include "smtp/tls_session.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

bool IsAddressLiteral(const char *name) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, name, address) == 1 || inet_pton(AF_INET6, name, address) == 1;
}

}  // namespace

struct CTlsSession::CState {
  ~CState() {
    if (ssl != nullptr) SSL_free(ssl);  // frees the BIO with it
    if (context != nullptr) SSL_CTX_free(context);
    if (method != nullptr) BIO_meth_free(method);
  }

  // The time left until the current operation's deadline, at least 0.
  int LeftMs() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
  }
  void Begin(int timeoutMs) {
    deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    status = IoStatus::kDone;
    ioError = 0;
  }

  CSocketIo *socket = nullptr;
  SSL_CTX *context = nullptr;
  SSL *ssl = nullptr;
  BIO_METHOD *method = nullptr;
  bool active = false;
  bool verified = false;  // the handshake checked chain and name
  // What the socket layer said of the last transfer that did not complete.
  IoStatus status = IoStatus::kDone;
  int ioError = 0;
  bool peerClosed = false;
  Clock::time_point deadline;
};

namespace {

using CState = CTlsSession::CState;

int BioWrite(BIO *bio, const char *data, int length) {
  auto *state = static_cast<CState *>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (length <= 0) return 0;
  int error = 0;
  IoStatus status = state->socket->Write(data, static_cast<std::size_t>(length), state->LeftMs(),
                                         &error);
  if (status == IoStatus::kDone) return length;
  state->status = status;
  state->ioError = error;
  return -1;
}

int BioRead(BIO *bio, char *buffer, int capacity) {
  auto *state = static_cast<CState *>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (capacity <= 0) return 0;
  std::size_t length = static_cast<std::size_t>(capacity);
  int error = 0;
  IoStatus status = state->socket->Read(buffer, &length, state->LeftMs(), &error);
  if (status == IoStatus::kDone) {
    if (length == 0) state->peerClosed = true;
    return static_cast<int>(length);
  }
  state->status = status;
  state->ioError = error;
  return -1;
}

long BioControl(BIO *, int command, long, void *) {
  // Writes go straight to the socket: there is never anything to flush.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO *bio) {
  BIO_set_init(bio, 1);
  return 1;
}

bool IsProtocolRefusal(unsigned long error) {
  if (ERR_GET_LIB(error) != ERR_LIB_SSL) return false;
  int reason = ERR_GET_REASON(error);
  return reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION || reason == SSL_R_UNSUPPORTED_PROTOCOL ||
         reason == SSL_R_NO_PROTOCOLS_AVAILABLE;
}

int ReasonOf(unsigned long error) { return static_cast<int>(ERR_GET_REASON(error)); }

// The protocol as both platforms name it; OpenSSL's own name otherwise.
std::string ProtocolName(const SSL *ssl) {
  switch (SSL_version(ssl)) {
    case TLS1_2_VERSION:
      return "TLS 1.2";
    case TLS1_3_VERSION:
      return "TLS 1.3";
    default:
      return SSL_get_version(ssl);
  }
}

// The suite's standard (IANA) name, which SChannel gives too; OpenSSL's
// own where it has none.
std::string CipherName(const SSL *ssl) {
  const SSL_CIPHER *cipher = SSL_get_current_cipher(ssl);
  const char *name = cipher != nullptr ? SSL_CIPHER_standard_name(cipher) : nullptr;
  if (name == nullptr) name = SSL_get_cipher_name(ssl);
  return name != nullptr ? name : "";
}

// The subject in the order of RFC 4514 (most specific first, "CN=..."),
// as SChannel's reversed X.500 text has it.
std::string SubjectText(const SSL *ssl) {
  X509 *certificate = SSL_get0_peer_certificate(ssl);
  if (certificate == nullptr) return std::string();
  BIO *text = BIO_new(BIO_s_mem());
  if (text == nullptr) return std::string();
  std::string subject;
  if (X509_NAME_print_ex(text, X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253) >= 0) {
    char *bytes = nullptr;
    long length = BIO_get_mem_data(text, &bytes);
    if (bytes != nullptr && length > 0) subject.assign(bytes, static_cast<std::size_t>(length));
  }
  BIO_free(text);
  return subject;
}

}  // namespace

CTlsSession::CTlsSession() = default;

CTlsSession::~CTlsSession() { Close(); }

bool CTlsSession::IsActive() const { return m_state != nullptr && m_state->active; }

CTlsDescription CTlsSession::Describe() const {
  CTlsDescription description;
  if (!IsActive()) return description;
  description.protocol = ProtocolName(m_state->ssl);
  description.cipher = CipherName(m_state->ssl);
  description.subject = SubjectText(m_state->ssl);
  description.verified = m_state->verified;
  return description;
}

void CTlsSession::Close() { m_state.reset(); }

// The name's bytes are the name, whatever its source.
TlsStart CTlsSession::Start(CSocketIo &socket, const char *serverName, TextSource, bool verify,
                            const std::string &trustFile, int timeoutMs, int *error) {
  Close();
  *error = 0;
  ERR_clear_error();
  auto state = std::make_unique<CState>();
  state->socket = &socket;
  state->context = SSL_CTX_new(TLS_client_method());
  if (state->context == nullptr ||
      SSL_CTX_set_min_proto_version(state->context, TLS1_2_VERSION) != 1) {
    *error = ReasonOf(ERR_get_error());
    return TlsStart::kSetup;
  }
  const char *name = serverName != nullptr ? serverName : "";
  bool literal = IsAddressLiteral(name);
  if (verify) {
    int loaded = trustFile.empty()
                     ? SSL_CTX_set_default_verify_paths(state->context)
                     : SSL_CTX_load_verify_locations(state->context, trustFile.c_str(), nullptr);
    if (loaded != 1) {
      *error = ReasonOf(ERR_get_error());
      ERR_clear_error();
      return TlsStart::kSetup;
    }
    SSL_CTX_set_verify(state->context, SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(state->context, SSL_VERIFY_NONE, nullptr);
  }
  state->ssl = SSL_new(state->context);
  state->method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mailvane socket");
  if (state->ssl == nullptr || state->method == nullptr ||
      BIO_meth_set_write(state->method, BioWrite) != 1 ||
      BIO_meth_set_read(state->method, BioRead) != 1 ||
      BIO_meth_set_ctrl(state->method, BioControl) != 1 ||
      BIO_meth_set_create(state->method, BioCreate) != 1) {
    *error = ReasonOf(ERR_get_error());
    return TlsStart::kSetup;
  }
  BIO *bio = BIO_new(state->method);
  if (bio == nullptr) {
    *error = ReasonOf(ERR_get_error());
    return TlsStart::kSetup;
  }
  BIO_set_data(bio, state.get());
  SSL_set_bio(state->ssl, bio, bio);  // the SSL object owns it from here

  // SNI names hosts only (RFC 6066 section 3); an address is checked as one.
  bool named = literal ? true : SSL_set_tlsext_host_name(state->ssl, name) == 1;
  if (verify && named) {
    named = literal ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(state->ssl), name) == 1
                    : SSL_set1_host(state->ssl, name) == 1;
  }
  if (!named) {
    *error = ReasonOf(ERR_get_error());
    ERR_clear_error();
    return TlsStart::kSetup;
  }

  state->Begin(timeoutMs);
  int result = SSL_connect(state->ssl);
  if (result == 1) {
    state->active = true;
    state->verified = verify;
    m_state = std::move(state);
    return TlsStart::kStarted;
  }
  unsigned long failure = ERR_peek_error();
  ERR_clear_error();
  if (state->status == IoStatus::kCancelled) return TlsStart::kCancelled;
  if (state->status == IoStatus::kTimedOut) return TlsStart::kTimedOut;
  if (verify) {
    long verified = SSL_get_verify_result(state->ssl);
    if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH)
      return TlsStart::kNameMismatch;
    if (verified != X509_V_OK) {
      *error = static_cast<int>(verified);
      return TlsStart::kUntrusted;
    }
  }
  if (IsProtocolRefusal(failure)) return TlsStart::kOldProtocol;
  if (failure == 0 && state->peerClosed) return TlsStart::kClosed;
  *error = state->status == IoStatus::kFailed ? state->ioError : ReasonOf(failure);
  return TlsStart::kFailed;
}

IoStatus CTlsSession::Write(const void *data, std::size_t length, int timeoutMs, int *error) {
  *error = 0;
  if (!IsActive()) {
    *error = EBADF;
    return IoStatus::kFailed;
  }
  const char *bytes = static_cast<const char *>(data);
  while (length > 0) {
    int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    // Each record's wait gets the whole limit, as each wait of a plain
    // write does.
    m_state->Begin(timeoutMs);
    ERR_clear_error();
    int written = SSL_write(m_state->ssl, bytes, piece);
    if (written <= 0) {
      ERR_clear_error();
      IoStatus status = m_state->status;
      *error = status == IoStatus::kDone ? EPROTO : m_state->ioError;
      m_state->active = false;
      return status == IoStatus::kDone ? IoStatus::kFailed : status;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return IoStatus::kDone;
}

IoStatus CTlsSession::Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
  *error = 0;
  std::size_t capacity = *length;
  *length = 0;
  if (!IsActive()) {
    *error = EBADF;
    return IoStatus::kFailed;
  }
  int wanted = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  m_state->Begin(timeoutMs);
  m_state->peerClosed = false;
  ERR_clear_error();
  int got = SSL_read(m_state->ssl, buffer, wanted);
  if (got > 0) {
    *length = static_cast<std::size_t>(got);
    return IoStatus::kDone;
  }
  int reason = SSL_get_error(m_state->ssl, got);
  ERR_clear_error();
  // A close alert, or the connection ended: the server closed it.
  if (reason == SSL_ERROR_ZERO_RETURN || m_state->peerClosed) return IoStatus::kDone;
  // A record cut short by the limit cannot be resumed: the session is over.
  m_state->active = false;
  IoStatus status = m_state->status;
  if (status == IoStatus::kTimedOut || status == IoStatus::kCancelled) return status;
  *error = status == IoStatus::kFailed ? m_state->ioError : EPROTO;
  return IoStatus::kFailed;
}
