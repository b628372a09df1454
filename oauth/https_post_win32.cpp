// The POST through WinHTTP, in its synchronous mode.
//
// WinHTTP checks the certificate (chain to a root of the Windows store,
// name of the URL's host) in the handshake of WinHttpSendRequest. The
// request is sent there without its body: the form follows with
// WinHttpWriteData only when the handshake, and so the check, succeeded.
// Each step is given the time left of the whole exchange as its limit,
// so the exchange as a whole stays within its bound.
//
// The form is handed to WinHTTP from the caller's buffer; the body is read
// through a stack buffer of ours, wiped before the function returns, into
// the caller's CReplyBody. WinHTTP's own buffers are WinHTTP's.
#include "oauth/https_post.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <climits>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kAgent[] = L"mailvane";
constexpr wchar_t kPost[] = L"POST";
constexpr wchar_t kHeaders[] =
    L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
// What the body is read through, a piece at a time.
constexpr DWORD kReadPiece = 4096;
// TLS 1.2 or later; TLS 1.3 where WinHTTP knows it (Windows 11 and Server
// 2022 on), else 1.2 alone.
constexpr DWORD kProtocols =
    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
constexpr DWORD kProtocolFloor = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
// Everything the certificate check looks at, for "@tls_verify" = 'no'.
constexpr DWORD kIgnoreCertificate = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                     SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                     SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                     SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
// No redirect followed, no cookie kept, no authentication answered.
constexpr DWORD kDisabledFeatures =
    WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
// The certificate flags that are the name's alone.
constexpr DWORD kNameFlag = WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID;

// A WinHTTP handle, closed however the POST ends.
class CHandle {
 public:
  explicit CHandle(HINTERNET handle) : m_handle(handle) {}
  ~CHandle() {
    if (m_handle != nullptr) WinHttpCloseHandle(m_handle);
  }
  CHandle(const CHandle &) = delete;
  CHandle &operator=(const CHandle &) = delete;
  HINTERNET Get() const { return m_handle; }

 private:
  HINTERNET m_handle;
};

// The certificate flags of a failed check, as WinHTTP reports them to the
// status callback (on the calling thread, in the synchronous mode).
struct CSecureFailure {
  DWORD flags = 0;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || info == nullptr ||
      length < sizeof(DWORD))
    return;
  reinterpret_cast<CSecureFailure *>(context)->flags |= *static_cast<DWORD *>(info);
}

// The time left of the exchange, at least 1 ms (0 would be no limit).
int LeftMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

bool SetDword(HINTERNET handle, DWORD option, DWORD value) {
  return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
}

// The wait for the reply's head has a limit of its own beside the four of
// WinHttpSetTimeouts.
bool LimitNextStep(HINTERNET request, Clock::time_point deadline) {
  int left = LeftMs(deadline);
  if (left <= 0) {
    SetLastError(ERROR_WINHTTP_TIMEOUT);
    return false;
  }
  return WinHttpSetTimeouts(request, left, left, left, left) &&
         SetDword(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(left));
}

// The URL, widened: the option reader lets only printable ASCII through.
bool Widen(const std::string &url, std::wstring &wide) {
  wide.clear();
  for (char c : url) {
    if (static_cast<unsigned char>(c) > 0x7E) return false;
    wide += static_cast<wchar_t>(c);
  }
  return true;
}

HttpsOutcome Failure(DWORD code, const CSecureFailure &secure, Clock::time_point deadline,
                     int *error) {
  *error = static_cast<int>(code);
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
      return HttpsOutcome::kTimedOut;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return HttpsOutcome::kResolve;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return HttpsOutcome::kNameMismatch;
    case ERROR_WINHTTP_SECURE_FAILURE:
      if (secure.flags == kNameFlag) return HttpsOutcome::kNameMismatch;
      if ((secure.flags & ~WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR) != 0) {
        *error = static_cast<int>(secure.flags);
        return HttpsOutcome::kUntrusted;
      }
      return HttpsOutcome::kHandshake;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return HttpsOutcome::kUntrusted;
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return HttpsOutcome::kHandshake;
    case ERROR_NOT_ENOUGH_MEMORY:
      return HttpsOutcome::kSetup;
    default:
      // A wait cut short by the exchange's deadline.
      return LeftMs(deadline) == 0 ? HttpsOutcome::kTimedOut : HttpsOutcome::kUnreachable;
  }
}

// The reply's Retry-After, when it has one of printable ASCII within the
// bound.
void ReadRetryAfter(HINTERNET request, std::string *retryAfter) {
  if (retryAfter == nullptr) return;
  retryAfter->clear();
  wchar_t value[kMaxRetryAfterField + 1] = {};
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RETRY_AFTER, WINHTTP_HEADER_NAME_BY_INDEX, value,
                           &size, WINHTTP_NO_HEADER_INDEX))
    return;
  std::string narrow;
  for (DWORD i = 0; i < size / sizeof(wchar_t) && value[i] != L'\0'; ++i) {
    if (value[i] < 0x20 || value[i] > 0x7E) return;
    narrow += static_cast<char>(value[i]);
  }
  *retryAfter = narrow;
}

// Reads the body into body; false with the last error set, or with
// *tooLarge when it passes the bound.
bool ReadBody(HINTERNET request, Clock::time_point deadline, CReplyBody &body, bool *tooLarge) {
  char piece[kReadPiece];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!LimitNextStep(request, deadline) ||
        !WinHttpReadData(request, piece, sizeof piece, &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!body.Append(piece, got)) {
      *tooLarge = true;
      ok = false;
      break;
    }
  }
  DWORD lastError = GetLastError();
  SecureZero(piece, sizeof piece);
  SetLastError(lastError);
  return ok;
}

}  // namespace

HttpsOutcome PostForm(const CHttpsPost &post, const std::string &form, int *status,
                      CReplyBody &body, int *error) {
  *status = 0;
  *error = 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(post.timeoutMs);
  CSecureFailure secure;

  std::wstring url;
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!Widen(post.url, url) || form.size() > MAXDWORD) {
    *error = ERROR_WINHTTP_INVALID_URL;
    return HttpsOutcome::kSetup;
  }
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) {
    *error = ERROR_WINHTTP_INVALID_URL;
    return HttpsOutcome::kSetup;
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  // The path and query; a fragment is the client's own (RFC 3986 section
  // 3.5) and never sent.
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  path = path.substr(0, path.find(L'#'));
  if (path.empty()) path = L"/";

  CHandle session(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.Get() == nullptr ||
      (!SetDword(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, kProtocols) &&
       !SetDword(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, kProtocolFloor))) {
    *error = static_cast<int>(GetLastError());
    return HttpsOutcome::kSetup;
  }
  CHandle connection(WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
  CHandle request(connection.Get() == nullptr
                      ? nullptr
                      : WinHttpOpenRequest(connection.Get(), kPost, path.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           WINHTTP_FLAG_SECURE));
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&secure);
  if (request.Get() == nullptr ||
      !SetDword(request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, kDisabledFeatures) ||
      !SetDword(request.Get(), WINHTTP_OPTION_AUTOLOGON_POLICY,
                WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH) ||
      (!post.verify &&
       !SetDword(request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, kIgnoreCertificate)) ||
      !WinHttpSetOption(request.Get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      WinHttpSetStatusCallback(request.Get(), OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK) {
    *error = static_cast<int>(GetLastError());
    return HttpsOutcome::kSetup;
  }

  // The request line and headers only; the body announced by its length.
  const DWORD formLength = static_cast<DWORD>(form.size());
  if (!LimitNextStep(request.Get(), deadline) ||
      !WinHttpSendRequest(request.Get(), kHeaders, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                          0, formLength, 0))
    return Failure(GetLastError(), secure, deadline, error);
  for (DWORD sent = 0; sent < formLength;) {
    DWORD written = 0;
    if (!LimitNextStep(request.Get(), deadline) ||
        !WinHttpWriteData(request.Get(), form.data() + sent, formLength - sent, &written))
      return Failure(GetLastError(), secure, deadline, error);
    sent += written;
  }
  if (!LimitNextStep(request.Get(), deadline) || !WinHttpReceiveResponse(request.Get(), nullptr))
    return Failure(GetLastError(), secure, deadline, error);
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
    return Failure(GetLastError(), secure, deadline, error);
  *status = static_cast<int>(code);
  ReadRetryAfter(request.Get(), post.retryAfter);
  bool tooLarge = false;
  if (!ReadBody(request.Get(), deadline, body, &tooLarge))
    return tooLarge ? HttpsOutcome::kTooLarge : Failure(GetLastError(), secure, deadline, error);
  return HttpsOutcome::kDone;
}
