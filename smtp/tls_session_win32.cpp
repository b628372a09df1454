// TLS through SChannel (SSPI, secur32) and the certificate checks of
// crypt32: both part of Windows, so the DLL needs nothing else. SChannel
// never sees the socket: its tokens and records travel through CSocketIo,
// so every wait is a bounded wait of the socket layer.
//
// SChannel is told to leave the certificate alone (manual validation); the
// chain is then built and checked here, each URL it fetches bounded by the
// handshake's time left: against the system's roots, or
// against the roots of the trust file only (the chain's root must be one of
// them, byte for byte), and the name against the server's through the SSL
// chain policy. Only TLS 1.2 is enabled: it is what every mail server
// offers, and SChannel's TLS 1.3 needs post-handshake messages handled as
// renegotiations, which this client refuses.
//
// Buffers that held records or plaintext are wiped before release; the
// security context and credentials are deleted with the session.
#include "smtp/tls_session.h"

#define SECURITY_WIN32
// CERT_CHAIN_PARA with dwUrlRetrievalTimeout.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "charset/system_name.h"
#include "mail/secure_zero.h"

namespace {

using Clock = std::chrono::steady_clock;

// The most a handshake flight may take before SChannel can use it: a
// certificate chain of several records. A server that sends more is not
// given more memory.
constexpr std::size_t kHandshakeBufferSize = 64 * 1024;
// Room per read while the handshake runs.
constexpr std::size_t kHandshakeRead = 16 * 1024;
// The largest trust file read: far beyond any set of root certificates.
constexpr std::size_t kMaxTrustFile = 4 * 1024 * 1024;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

// SECURITY_FLAG_IGNORE_UNKNOWN_CA, which wininet.h defines: the chain's
// root has already been matched against the trust file.
constexpr DWORD kIgnoreUnknownCa = 0x00000100;

constexpr char kPemBegin[] = "-----BEGIN CERTIFICATE-----";
constexpr char kPemEnd[] = "-----END CERTIFICATE-----";

int Code(SECURITY_STATUS status) { return static_cast<int>(status); }

// A store in memory with every certificate of a PEM file; null when the
// file cannot be read or holds none.
HCERTSTORE LoadTrustFile(const std::string &path, int *error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::string text;
  char chunk[4096];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxTrustFile) {
      *error = ERROR_FILE_TOO_LARGE;
      return nullptr;
    }
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (store == nullptr) {
    *error = static_cast<int>(GetLastError());
    return nullptr;
  }
  int added = 0;
  std::size_t at = 0;
  for (;;) {
    std::size_t begin = text.find(kPemBegin, at);
    if (begin == std::string::npos) break;
    begin += sizeof kPemBegin - 1;
    std::size_t end = text.find(kPemEnd, begin);
    if (end == std::string::npos) break;
    at = end + sizeof kPemEnd - 1;
    DWORD size = 0;
    const char *base64 = text.data() + begin;
    DWORD length = static_cast<DWORD>(end - begin);
    if (!CryptStringToBinaryA(base64, length, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                              nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(base64, length, CRYPT_STRING_BASE64, der.data(), &size, nullptr,
                              nullptr))
      continue;
    if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr))
      ++added;
  }
  if (added == 0) {
    CertCloseStore(store, 0);
    *error = static_cast<int>(CRYPT_E_NOT_FOUND);
    return nullptr;
  }
  return store;
}

}  // namespace

struct CTlsSession::CState {
  ~CState() {
    if (!received.empty()) SecureZero(received.data(), received.size());
    if (!plain.empty()) SecureZero(plain.data(), plain.size());
    if (!record.empty()) SecureZero(record.data(), record.size());
    if (haveContext) DeleteSecurityContext(&context);
    if (haveCredentials) FreeCredentialsHandle(&credentials);
  }

  int LeftMs() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
  }

  // Sends an output token SChannel allocated, and frees it.
  IoStatus SendToken(SecBuffer &token, int *error) {
    IoStatus status = IoStatus::kDone;
    if (token.pvBuffer != nullptr && token.cbBuffer > 0)
      status = socket->Write(token.pvBuffer, token.cbBuffer, LeftMs(), error);
    if (token.pvBuffer != nullptr) FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    token.cbBuffer = 0;
    return status;
  }

  // Appends what one receive gives to the received bytes; 0 bytes when the
  // server closed.
  IoStatus Receive(std::size_t room, std::size_t *got, int *error) {
    if (receivedLength + room > received.size()) room = received.size() - receivedLength;
    *got = room;
    if (room == 0) return IoStatus::kFailed;
    IoStatus status = socket->Read(received.data() + receivedLength, got, LeftMs(), error);
    if (status == IoStatus::kDone) receivedLength += *got;
    return status;
  }

  // Keeps only the last extra bytes of the received ones.
  void KeepExtra(const SecBuffer &extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 &&
        extra.cbBuffer <= receivedLength) {
      std::memmove(received.data(), received.data() + (receivedLength - extra.cbBuffer),
                   extra.cbBuffer);
      receivedLength = extra.cbBuffer;
    } else {
      receivedLength = 0;
    }
  }

  CSocketIo *socket = nullptr;
  CredHandle credentials = {};
  bool haveCredentials = false;
  CtxtHandle context = {};
  bool haveContext = false;
  SecPkgContext_StreamSizes sizes = {};
  std::vector<char> received;  // records not yet decrypted
  std::size_t receivedLength = 0;
  std::vector<char> plain;  // decrypted, not yet handed out
  std::size_t plainStart = 0;
  std::size_t plainLength = 0;
  std::vector<char> record;  // one record being encrypted
  bool active = false;
  bool verified = false;  // chain and name were checked
  DWORD protocol = 0;     // SP_PROT_* of the connection
  Clock::time_point deadline;
};

namespace {

using CState = CTlsSession::CState;

// Builds the chain of the server's certificate and checks it and its name.
TlsStart CheckCertificate(CState &state, std::wstring &serverName, const std::string &trustFile,
                          int *error) {
  PCCERT_CONTEXT certificate = nullptr;
  SECURITY_STATUS status = QueryContextAttributesA(&state.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                                   &certificate);
  if (status != SEC_E_OK || certificate == nullptr) {
    *error = Code(status);
    return TlsStart::kUntrusted;
  }
  HCERTSTORE trust = nullptr;
  HCERTSTORE pool = nullptr;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  TlsStart verdict = TlsStart::kUntrusted;
  do {
    HCERTSTORE extra = certificate->hCertStore;  // what the server sent along
    if (!trustFile.empty()) {
      trust = LoadTrustFile(trustFile, error);
      if (trust == nullptr) {
        verdict = TlsStart::kSetup;
        break;
      }
      pool = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
      if (pool == nullptr || !CertAddStoreToCollection(pool, certificate->hCertStore, 0, 0) ||
          !CertAddStoreToCollection(pool, trust, 0, 0)) {
        *error = static_cast<int>(GetLastError());
        verdict = TlsStart::kSetup;
        break;
      }
      extra = pool;
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // Building the chain may fetch intermediate certificates over the
    // network: each fetch gets the handshake's time left (0 would be the
    // system's default of 15 s).
    const int left = state.LeftMs();
    para.dwUrlRetrievalTimeout = static_cast<DWORD>(left > 0 ? left : 1);
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, extra, &para, 0, nullptr,
                                 &chain)) {
      *error = static_cast<int>(GetLastError());
      break;
    }
    DWORD problems = chain->TrustStatus.dwErrorStatus;
    if (trust != nullptr) {
      // The root must be one of the file's, whatever the system trusts.
      problems &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
      const CERT_SIMPLE_CHAIN *simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
      PCCERT_CONTEXT root = simple != nullptr && simple->cElement > 0
                                ? simple->rgpElement[simple->cElement - 1]->pCertContext
                                : nullptr;
      PCCERT_CONTEXT known =
          root == nullptr ? nullptr
                          : CertFindCertificateInStore(trust, X509_ASN_ENCODING, 0,
                                                       CERT_FIND_EXISTING, root, nullptr);
      if (known == nullptr) {
        *error = static_cast<int>(CERT_E_UNTRUSTEDROOT);
        break;
      }
      CertFreeCertificateContext(known);
    }
    // Revocation is not asked for; nothing about it can be a problem.
    problems &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                    CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (problems != 0) {
      *error = static_cast<int>(problems);
      break;
    }
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = trust != nullptr ? kIgnoreUnknownCa : 0;
    ssl.pwszServerName = serverName.data();
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = trust != nullptr ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result = {};
    result.cbSize = sizeof result;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
      *error = static_cast<int>(GetLastError());
      break;
    }
    if (result.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
      verdict = TlsStart::kNameMismatch;
      break;
    }
    if (result.dwError != 0) {
      *error = static_cast<int>(result.dwError);
      break;
    }
    verdict = TlsStart::kStarted;
  } while (false);
  if (chain != nullptr) CertFreeCertificateChain(chain);
  if (pool != nullptr) CertCloseStore(pool, 0);
  if (trust != nullptr) CertCloseStore(trust, 0);
  CertFreeCertificateContext(certificate);
  return verdict;
}

// The bytes waiting for SChannel must start a record of TLS (RFC 5246
// section 6.2.1): during the handshake a handshake or alert record (type 22
// or 21), after it also application data (23); major version 3. A
// plain-text reply, or bytes injected on the path, would otherwise be taken
// for the header of a long record and waited for until the limit.
bool LooksLikeRecord(const char *bytes, std::size_t length, bool handshakeDone) {
  constexpr unsigned char kAlert = 21, kHandshake = 22, kApplicationData = 23;
  constexpr unsigned char kMajorVersion = 3;
  const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
  bool known = length < 1 || b[0] == kAlert || b[0] == kHandshake ||
               (handshakeDone && b[0] == kApplicationData);
  if (!known) return false;
  if (length >= 2 && b[1] != kMajorVersion) return false;
  return true;
}

bool IsProtocolRefusal(SECURITY_STATUS status) {
  return status == SEC_E_UNSUPPORTED_FUNCTION || status == SEC_E_ALGORITHM_MISMATCH;
}

// The server's answer to our hello was the alert protocol_version (RFC 8446
// section 6.2, description 70): it speaks no version we offer. Some
// providers report it only as an internal error.
bool IsVersionAlert(const char *bytes, std::size_t length) {
  constexpr unsigned char kAlert = 21, kProtocolVersion = 70;
  constexpr std::size_t kAlertRecordSize = 7;  // 5 bytes of header, level, description
  const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
  return length >= kAlertRecordSize && b[0] == kAlert && b[6] == kProtocolVersion;
}

// The server answered with a ServerHello of a version below TLS 1.2 (3.3):
// it chose what we never offered. Some providers report it only as an
// internal error.
bool IsOldServerHello(const char *bytes, std::size_t length) {
  constexpr unsigned char kHandshake = 22, kServerHello = 2, kMajor = 3, kTls12Minor = 3;
  // 5 bytes of record header, 4 of handshake header, then the version.
  constexpr std::size_t kVersionAt = 9;
  const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
  return length >= kVersionAt + 2 && b[0] == kHandshake && b[5] == kServerHello &&
         b[kVersionAt] == kMajor && b[kVersionAt + 1] < kTls12Minor;
}

std::string Narrow(const WCHAR *text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(n - 1));
  return narrow;
}

// The suite's standard name where the provider tells it; else the bulk
// cipher's algorithm id and strength.
std::string CipherName(CState &state) {
  SecPkgContext_CipherInfo cipher = {};
  cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
  if (QueryContextAttributesW(&state.context, SECPKG_ATTR_CIPHER_INFO, &cipher) == SEC_E_OK &&
      cipher.szCipherSuite[0] != L'\0') {
    cipher.szCipherSuite[SZ_ALG_MAX_SIZE - 1] = L'\0';
    return Narrow(cipher.szCipherSuite);
  }
  SecPkgContext_ConnectionInfo info = {};
  if (QueryContextAttributesA(&state.context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
    return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "cipher 0x%04x %lu bits", static_cast<unsigned>(info.aiCipher),
                static_cast<unsigned long>(info.dwCipherStrength));
  return text;
}

// The subject as X.500 text, most specific first ("CN=..., O=...").
std::string SubjectText(CState &state) {
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&state.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr)
    return std::string();
  constexpr DWORD kFormat = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
  std::string subject;
  DWORD size = CertNameToStrA(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, kFormat,
                              nullptr, 0);
  if (size > 1) {
    subject.assign(size, '\0');
    CertNameToStrA(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, kFormat, subject.data(),
                   size);
    subject.resize(size - 1);
  }
  CertFreeCertificateContext(certificate);
  return subject;
}

std::string ProtocolName(DWORD protocol) {
  if ((protocol & SP_PROT_TLS1_3_CLIENT) != 0) return "TLS 1.3";
  if ((protocol & SP_PROT_TLS1_2_CLIENT) != 0) return "TLS 1.2";
  char text[32];
  std::snprintf(text, sizeof text, "protocol 0x%lx", static_cast<unsigned long>(protocol));
  return text;
}

// A handshake whose socket wait did not complete.
TlsStart StoppedBy(IoStatus io) {
  switch (io) {
    case IoStatus::kTimedOut:
      return TlsStart::kTimedOut;
    case IoStatus::kCancelled:
      return TlsStart::kCancelled;
    case IoStatus::kDone:
    case IoStatus::kFailed:
      break;
  }
  return TlsStart::kFailed;
}

// The handshake proper: tokens out and in until SChannel is done.
TlsStart Negotiate(CState &state, std::wstring &serverName, int *error) {
  SEC_WCHAR *target = serverName.data();
  SecBuffer out = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  SECURITY_STATUS status =
      InitializeSecurityContextW(&state.credentials, nullptr, target, kContextFlags, 0, 0, nullptr,
                                 0, &state.context, &outDesc, &attributes, nullptr);
  if (status != SEC_I_CONTINUE_NEEDED) {
    if (out.pvBuffer != nullptr) FreeContextBuffer(out.pvBuffer);
    *error = Code(status);
    return IsProtocolRefusal(status) ? TlsStart::kOldProtocol : TlsStart::kSetup;
  }
  state.haveContext = true;
  IoStatus io = state.SendToken(out, error);
  if (io != IoStatus::kDone) return StoppedBy(io);

  state.received.assign(kHandshakeBufferSize, '\0');
  state.receivedLength = 0;
  DWORD flags = kContextFlags;
  bool needMore = true;
  for (;;) {
    if (needMore) {
      std::size_t got = 0;
      io = state.Receive(kHandshakeRead, &got, error);
      if (io != IoStatus::kDone) return StoppedBy(io);
      if (got == 0) return TlsStart::kClosed;
      if (!LooksLikeRecord(state.received.data(), state.receivedLength, false)) {
        *error = Code(SEC_E_ILLEGAL_MESSAGE);
        return TlsStart::kFailed;
      }
    }
    SecBuffer in[2] = {{static_cast<ULONG>(state.receivedLength), SECBUFFER_TOKEN,
                        state.received.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    out = {0, SECBUFFER_TOKEN, nullptr};
    outDesc = {SECBUFFER_VERSION, 1, &out};
    status = InitializeSecurityContextW(&state.credentials, &state.context, target, flags, 0, 0,
                                        &inDesc, 0, nullptr, &outDesc, &attributes, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (out.pvBuffer != nullptr) FreeContextBuffer(out.pvBuffer);
      needMore = true;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS && (flags & ISC_REQ_USE_SUPPLIED_CREDS) == 0) {
      // The server asks for a client certificate (some receive connectors
      // do, optionally). There is none to give: the handshake goes on
      // without one, over the same input, which SChannel has not consumed.
      if (out.pvBuffer != nullptr) FreeContextBuffer(out.pvBuffer);
      flags |= ISC_REQ_USE_SUPPLIED_CREDS;
      needMore = false;
      continue;
    }
    // A token comes also with a failure: the alert that tells the server.
    io = state.SendToken(out, error);
    if (FAILED(status)) {
      *error = Code(status);
      bool old = IsProtocolRefusal(status) ||
                 IsVersionAlert(state.received.data(), state.receivedLength) ||
                 IsOldServerHello(state.received.data(), state.receivedLength);
      return old ? TlsStart::kOldProtocol : TlsStart::kFailed;
    }
    if (io != IoStatus::kDone) return StoppedBy(io);
    state.KeepExtra(in[1]);
    if (status == SEC_E_OK) return TlsStart::kStarted;
    if (status != SEC_I_CONTINUE_NEEDED) {
      // Any other success would leave the handshake waiting for what never
      // comes.
      *error = Code(status);
      return TlsStart::kFailed;
    }
    needMore = state.receivedLength == 0;
  }
}

}  // namespace

CTlsSession::CTlsSession() = default;

CTlsSession::~CTlsSession() { Close(); }

bool CTlsSession::IsActive() const { return m_state != nullptr && m_state->active; }

CTlsDescription CTlsSession::Describe() const {
  CTlsDescription description;
  if (!IsActive()) return description;
  description.protocol = ProtocolName(m_state->protocol);
  description.cipher = CipherName(*m_state);
  description.subject = SubjectText(*m_state);
  description.verified = m_state->verified;
  return description;
}

void CTlsSession::Close() { m_state.reset(); }

TlsStart CTlsSession::Start(CSocketIo &socket, const char *serverName, TextSource nameSource,
                            bool verify, const std::string &trustFile, int timeoutMs,
                            int *error) {
  Close();
  *error = 0;
  // SChannel takes the server's name (for SNI and the certificate check)
  // as UTF-16, as the resolver did.
  std::u16string wide;
  if (!WideName(serverName != nullptr ? serverName : "", nameSource, wide)) {
    *error = ERROR_INVALID_NAME;
    return TlsStart::kSetup;
  }
  std::wstring name(wide.begin(), wide.end());
  auto state = std::make_unique<CState>();
  state->socket = &socket;
  state->deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

  SCHANNEL_CRED settings = {};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry = {};
  SECURITY_STATUS status = AcquireCredentialsHandleW(
      nullptr, const_cast<SEC_WCHAR *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &settings,
      nullptr, nullptr, &state->credentials, &expiry);
  if (status != SEC_E_OK) {
    *error = Code(status);
    return TlsStart::kSetup;
  }
  state->haveCredentials = true;

  TlsStart start = Negotiate(*state, name, error);
  if (start != TlsStart::kStarted) return start;

  SecPkgContext_ConnectionInfo info = {};
  status = QueryContextAttributesA(&state->context, SECPKG_ATTR_CONNECTION_INFO, &info);
  if (status != SEC_E_OK) {
    *error = Code(status);
    return TlsStart::kFailed;
  }
  // Whatever the provider made of the enabled protocols: nothing older.
  if ((info.dwProtocol & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT)) == 0)
    return TlsStart::kOldProtocol;
  state->protocol = info.dwProtocol;
  if (verify) {
    start = CheckCertificate(*state, name, trustFile, error);
    if (start != TlsStart::kStarted) return start;
  }
  status = QueryContextAttributesA(&state->context, SECPKG_ATTR_STREAM_SIZES, &state->sizes);
  if (status != SEC_E_OK) {
    *error = Code(status);
    return TlsStart::kFailed;
  }
  std::size_t recordSize =
      state->sizes.cbHeader + state->sizes.cbMaximumMessage + state->sizes.cbTrailer;
  // What the handshake left over stays; it may hold the first record.
  if (state->received.size() < recordSize) state->received.resize(recordSize);
  state->plain.assign(state->sizes.cbMaximumMessage, '\0');
  state->record.assign(recordSize, '\0');
  state->active = true;
  state->verified = verify;
  m_state = std::move(state);
  return TlsStart::kStarted;
}

IoStatus CTlsSession::Write(const void *data, std::size_t length, int timeoutMs, int *error) {
  *error = 0;
  if (!IsActive()) {
    *error = WSAENOTCONN;
    return IoStatus::kFailed;
  }
  CState &state = *m_state;
  const char *bytes = static_cast<const char *>(data);
  while (length > 0) {
    std::size_t piece = length < state.sizes.cbMaximumMessage ? length : state.sizes.cbMaximumMessage;
    char *record = state.record.data();
    std::memcpy(record + state.sizes.cbHeader, bytes, piece);
    SecBuffer buffers[4] = {
        {state.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record},
        {static_cast<ULONG>(piece), SECBUFFER_DATA, record + state.sizes.cbHeader},
        {state.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + state.sizes.cbHeader + piece},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = EncryptMessage(&state.context, 0, &desc, 0);
    if (status != SEC_E_OK) {
      SecureZero(record, state.record.size());
      *error = Code(status);
      state.active = false;
      return IoStatus::kFailed;
    }
    std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    state.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    IoStatus io = state.socket->Write(record, total, timeoutMs, error);
    if (io != IoStatus::kDone) {
      state.active = false;
      return io;
    }
    bytes += piece;
    length -= piece;
  }
  return IoStatus::kDone;
}

IoStatus CTlsSession::Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
  *error = 0;
  std::size_t capacity = *length;
  *length = 0;
  if (!IsActive()) {
    *error = WSAENOTCONN;
    return IoStatus::kFailed;
  }
  CState &state = *m_state;
  state.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (state.plainLength > 0) {
      std::size_t n = capacity < state.plainLength ? capacity : state.plainLength;
      std::memcpy(buffer, state.plain.data() + state.plainStart, n);
      SecureZero(state.plain.data() + state.plainStart, n);
      state.plainStart += n;
      state.plainLength -= n;
      *length = n;
      return IoStatus::kDone;
    }
    if (state.receivedLength > 0) {
      if (!LooksLikeRecord(state.received.data(), state.receivedLength, true)) {
        *error = Code(SEC_E_ILLEGAL_MESSAGE);
        state.active = false;
        return IoStatus::kFailed;
      }
      SecBuffer buffers[4] = {
          {static_cast<ULONG>(state.receivedLength), SECBUFFER_DATA, state.received.data()},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status = DecryptMessage(&state.context, &desc, 0, nullptr);
      if (status == SEC_I_CONTEXT_EXPIRED) return IoStatus::kDone;  // the server's close alert
      if (status == SEC_E_OK) {
        const SecBuffer *data = nullptr;
        const SecBuffer *extra = nullptr;
        for (const SecBuffer &b : buffers) {
          if (b.BufferType == SECBUFFER_DATA && data == nullptr) data = &b;
          if (b.BufferType == SECBUFFER_EXTRA && extra == nullptr) extra = &b;
        }
        std::size_t n = data != nullptr ? data->cbBuffer : 0;
        if (n > state.plain.size()) state.plain.resize(n);
        if (n > 0) std::memcpy(state.plain.data(), data->pvBuffer, n);
        state.plainStart = 0;
        state.plainLength = n;
        SecBuffer none = {0, SECBUFFER_EMPTY, nullptr};
        state.KeepExtra(extra != nullptr ? *extra : none);
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) {
        *error = Code(status);
        state.active = false;
        return IoStatus::kFailed;
      }
    }
    std::size_t got = 0;
    IoStatus io = state.Receive(state.received.size() - state.receivedLength, &got, error);
    if (io != IoStatus::kDone) {
      state.active = false;
      return io;
    }
    if (got == 0) return IoStatus::kDone;  // closed without an alert
  }
}
