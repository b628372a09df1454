// The POST through libcurl, over OpenSSL (Debian's libcurl4-openssl-dev).
//
// The certificate is checked as on the SMTP TLS path: libcurl's own CA
// file and path are switched off, and its OpenSSL context gets OpenSSL's
// default verify paths (which honour SSL_CERT_FILE and SSL_CERT_DIR) and
// the URL's host, so that chain and name are both checked within the
// handshake, before a byte of the request is written. Every handle is the
// call's own; libcurl's process-wide setup is thread-safe in the versions
// this builds against (7.87 and later, for CURLOPT_QUICK_EXIT), so nothing
// is shared between the server's threads.
//
// The transfer runs through a multi handle of its own, in slices of at
// most kCancelSliceMs between which the cancel probe is asked:
// curl_easy_perform wakes only once a second while a transfer idles, and
// its progress function with it. libcurl's limits end the transfer as they
// would there. A cancelled transfer is taken off at once, which closes its
// connection; a name still being resolved is left to libcurl's resolver
// thread, which ends on its own (CURLOPT_QUICK_EXIT), instead of being
// waited for.
//
// The form is given to libcurl without a copy of ours (CURLOPT_POSTFIELDS);
// the body is written into the caller's CReplyBody. libcurl's own buffers
// (the request it writes, which takes a small form in, and its receive
// buffer) are libcurl's, allocated and freed by libcurl.
#include "oauth/https_post.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>

#include <string>
#include <string_view>

namespace {

constexpr char kHttpsOnly[] = "https";
constexpr char kFormType[] = "Content-Type: application/x-www-form-urlencoded";
constexpr char kAcceptJson[] = "Accept: application/json";
// libcurl's check of the host name: 2 compares the name with the
// certificate's; 1 is an old alias, 0 no check.
constexpr long kVerifyHostName = 2;

// The libcurl objects of one POST, released however it ends.
class CCurlHandles {
 public:
  CCurlHandles() : m_easy(curl_easy_init()) {}
  ~CCurlHandles() {
    if (m_easy != nullptr) curl_easy_cleanup(m_easy);
    if (m_headers != nullptr) curl_slist_free_all(m_headers);
  }
  CCurlHandles(const CCurlHandles &) = delete;
  CCurlHandles &operator=(const CCurlHandles &) = delete;

  CURL *Easy() const { return m_easy; }
  bool AddHeader(const char *header) {
    curl_slist *list = curl_slist_append(m_headers, header);
    if (list == nullptr) return false;
    m_headers = list;
    return true;
  }
  curl_slist *Headers() const { return m_headers; }

 private:
  CURL *m_easy;
  curl_slist *m_headers = nullptr;
};

struct CReceiver {
  CReplyBody *body;
  bool tooLarge = false;
};

// libcurl's write callback: a count other than the one given ends the
// transfer (CURLE_WRITE_ERROR).
std::size_t ReceiveBody(char *data, std::size_t size, std::size_t count, void *user) {
  auto *receiver = static_cast<CReceiver *>(user);
  std::size_t length = size * count;
  if (!receiver->body->Append(data, length)) {
    receiver->tooLarge = true;
    return 0;
  }
  return length;
}

// The host the certificate must name, as the SMTP TLS path checks it
// (smtp/tls_session_posix.cpp): a name, or an address literally given;
// without checked, no certificate is checked.
struct CExpectedHost {
  bool checked = false;
  std::string name;
  bool literal = false;
};

bool ReadHost(const std::string &url, CExpectedHost &host) {
  CURLU *parsed = curl_url();
  if (parsed == nullptr) return false;
  char *name = nullptr;
  bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &name, 0) == CURLUE_OK;
  if (ok) {
    host.name = name;
    // An IPv6 address comes in its brackets (RFC 3986 section 3.2.2).
    if (host.name.size() > 2 && host.name.front() == '[' && host.name.back() == ']')
      host.name = host.name.substr(1, host.name.size() - 2);
    unsigned char address[sizeof(in6_addr)];
    host.literal = inet_pton(AF_INET, host.name.c_str(), address) == 1 ||
                   inet_pton(AF_INET6, host.name.c_str(), address) == 1;
  }
  curl_free(name);
  curl_url_cleanup(parsed);
  return ok;
}

// Called by libcurl with the context before the handshake. OpenSSL wipes
// what it decrypted (the reply, the token in it) once libcurl has read it,
// rather than leave it in its record buffers. With the check: the roots of
// the SMTP TLS path, and the host name checked by OpenSSL within the
// handshake, so that a certificate for another name fails it as one from
// an unknown authority does. (libcurl's own check after the handshake
// stays on.)
CURLcode PrepareContext(CURL *, void *context, void *data) {
  auto *ctx = static_cast<SSL_CTX *>(context);
  const auto *host = static_cast<const CExpectedHost *>(data);
  SSL_CTX_set_options(ctx, SSL_OP_CLEANSE_PLAINTEXT);
  if (!host->checked) return CURLE_OK;
  if (SSL_CTX_set_default_verify_paths(ctx) != 1) return CURLE_SSL_CACERT_BADFILE;
  X509_VERIFY_PARAM *param = SSL_CTX_get0_param(ctx);
  int named = host->literal ? X509_VERIFY_PARAM_set1_ip_asc(param, host->name.c_str())
                            : X509_VERIFY_PARAM_set1_host(param, host->name.c_str(), 0);
  return named == 1 ? CURLE_OK : CURLE_SSL_CERTPROBLEM;
}

// The connection's socket, made by libcurl's request with SOCK_CLOEXEC: a
// process started while the fetch runs must not hold it (libcurl makes its
// own without).
curl_socket_t OpenSocket(void *, curlsocktype, curl_sockaddr *address) {
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Sets every option of the POST; the first refusal's code, or CURLE_OK.
CURLcode Configure(CCurlHandles &handles, const CHttpsPost &post, const std::string &form,
                   const CExpectedHost &host, CReceiver &receiver) {
  CURL *easy = handles.Easy();
  if (!handles.AddHeader(kFormType) || !handles.AddHeader(kAcceptJson))
    return CURLE_OUT_OF_MEMORY;
  const long timeoutMs = post.timeoutMs;
  CURLcode code = CURLE_OK;
  auto set = [&code](CURLcode result) {
    if (code == CURLE_OK) code = result;
  };
  set(curl_easy_setopt(easy, CURLOPT_URL, post.url.c_str()));
  set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kHttpsOnly));
  set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kHttpsOnly));
  set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L));
  // No signals: the procedure runs on threads of a server that owns them.
  set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
  set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket));
  set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs));
  set(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs));
  set(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
  set(curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)));
  set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, post.verify ? 1L : 0L));
  set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, post.verify ? kVerifyHostName : 0L));
  set(curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr));
  set(curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr));
  set(curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, PrepareContext));
  set(curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &host));
  set(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles.Headers()));
  set(curl_easy_setopt(easy, CURLOPT_POST, 1L));
  set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size())));
  set(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, form.data()));
  set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, ReceiveBody));
  set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &receiver));
  return code;
}

// The reply's Retry-After, as libcurl kept it from the last response's
// header (curl_easy_header, libcurl 7.84 on).
void ReadRetryAfter(CURL *easy, std::string *retryAfter) {
  if (retryAfter == nullptr) return;
  retryAfter->clear();
  curl_header *header = nullptr;
  constexpr int kLastRequest = -1;
  if (curl_easy_header(easy, "Retry-After", 0, CURLH_HEADER, kLastRequest, &header) != CURLHE_OK ||
      header == nullptr || header->value == nullptr)
    return;
  std::string_view value(header->value);
  if (value.size() <= kMaxRetryAfterField) retryAfter->assign(value);
}

// A failed verification, by OpenSSL's result.
HttpsOutcome VerificationFailure(CURL *easy, int *error) {
  long verified = X509_V_OK;
  curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verified);
  if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH)
    return HttpsOutcome::kNameMismatch;
  *error = static_cast<int>(verified);
  return HttpsOutcome::kUntrusted;
}

// Runs the transfer of easy to its end (its result), or until cancel says
// yes (*cancelled; the transfer is then abandoned).
CURLcode Perform(CURL *easy, CCancelProbe *cancel, bool *cancelled) {
  *cancelled = false;
  CURLM *multi = curl_multi_init();
  if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_OUT_OF_MEMORY;
  }
  CURLcode code = CURLE_OK;
  for (;;) {
    if (CancelAsked(cancel)) {
      // A cancelled transfer does not wait for its name's resolution to
      // end; any other has joined its resolver thread by then, so that no
      // thread of libcurl outlives the call.
      curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
      *cancelled = true;
      break;
    }
    int running = 0;
    CURLMcode step = curl_multi_perform(multi, &running);
    if (step == CURLM_OK && running == 0) {
      int queued = 0;
      CURLMsg *done = curl_multi_info_read(multi, &queued);
      code = done != nullptr && done->msg == CURLMSG_DONE ? done->data.result : CURLE_RECV_ERROR;
      break;
    }
    if (step == CURLM_OK) step = curl_multi_poll(multi, nullptr, 0, kCancelSliceMs, nullptr);
    if (step != CURLM_OK) {
      code = step == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
      break;
    }
  }
  curl_multi_remove_handle(multi, easy);
  curl_multi_cleanup(multi);
  return code;
}

}  // namespace

HttpsOutcome PostForm(const CHttpsPost &post, const std::string &form, int *status,
                      CReplyBody &body, int *error) {
  *status = 0;
  *error = 0;
  CCurlHandles handles;
  if (handles.Easy() == nullptr) {
    *error = CURLE_FAILED_INIT;
    return HttpsOutcome::kSetup;
  }
  CExpectedHost host;
  host.checked = post.verify;
  if (post.verify && !ReadHost(post.url, host)) {
    *error = CURLE_URL_MALFORMAT;
    return HttpsOutcome::kSetup;
  }
  CReceiver receiver{&body};
  CURLcode code = Configure(handles, post, form, host, receiver);
  if (code != CURLE_OK) {
    *error = code;
    return HttpsOutcome::kSetup;
  }
  bool cancelled = false;
  code = Perform(handles.Easy(), post.cancel, &cancelled);
  if (cancelled) return HttpsOutcome::kCancelled;
  *error = code;
  // The status of whatever reply came, complete or not; 0 without one.
  long responseCode = 0;
  curl_easy_getinfo(handles.Easy(), CURLINFO_RESPONSE_CODE, &responseCode);
  *status = static_cast<int>(responseCode);
  ReadRetryAfter(handles.Easy(), post.retryAfter);
  switch (code) {
    case CURLE_OK:
      *error = 0;
      return HttpsOutcome::kDone;
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpsOutcome::kResolve;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpsOutcome::kTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
      return VerificationFailure(handles.Easy(), error);
    case CURLE_SSL_CONNECT_ERROR:
      return HttpsOutcome::kHandshake;
    case CURLE_WRITE_ERROR:
      return receiver.tooLarge ? HttpsOutcome::kTooLarge : HttpsOutcome::kUnreachable;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_INITFAILED:
      return HttpsOutcome::kSetup;
    default:
      return HttpsOutcome::kUnreachable;
  }
}
