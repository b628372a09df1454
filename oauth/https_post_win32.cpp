// The POST through WinHTTP, in its synchronous mode.
//
// WinHTTP checks the certificate (chain to a root of the Windows store,
// name of the URL's host) in the handshake of WinHttpSendRequest. The
// request is sent there without its body: the form follows with
// WinHttpWriteData only when the handshake, and so the check, succeeded.
// Each step is given the time left of the whole exchange as its limit,
// so the exchange as a whole stays within its bound.
//
// With a cancel probe the exchange runs on a thread of its own while the
// caller asks the probe every kCancelSliceMs: WinHTTP's synchronous calls
// wait for as long as their limits say. On a yes the caller abandons the
// exchange at once: it closes the request handle under the call that
// waits on it (WinHttpCloseHandle ends it), or, between two calls, leaves
// the thread to stop before the next one, so that nothing more of the
// request is sent. The exchange's state (its copy of the form, the body,
// the handles) is shared by reference count and freed, wiped, by whoever
// lets go last; each handle is closed once, by one of the two.
//
// The form is handed to WinHTTP from that copy, a CSecretString; the body
// is read through a stack buffer of ours, wiped before the exchange ends,
// into a CReplyBody handed to the caller without a copy. WinHTTP's own
// buffers are WinHTTP's.
#include "oauth/https_post.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <utility>

#include "charset/threads.h"

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

// The handles of an exchange, in the order they are opened.
enum Handle { kSession, kConnection, kRequest, kHandleCount };

// One exchange, shared by the caller and the thread that runs it.
struct CExchange {
  // Set by the caller before the exchange runs.
  std::wstring host;
  std::wstring path;
  INTERNET_PORT port = 0;
  bool verify = true;
  Clock::time_point deadline;
  CSecretString form;
  // Filled by the exchange.
  CReplyBody body;
  CSecureFailure secure;
  int status = 0;
  int error = 0;
  // The reply's Retry-After, when it has one of printable ASCII within the
  // bound: kept here, so that the exchange allocates nothing.
  char retryAfter[kMaxRetryAfterField + 1] = {};
  std::size_t retryAfterLength = 0;
  HttpsOutcome outcome = HttpsOutcome::kSetup;
  CSignal done;
  // Who closes which handle: under lock, see Step and Abandon.
  CLock lock;
  HINTERNET handles[kHandleCount] = {};
  bool inCall = false;
  bool abandoned = false;
};

// Runs one WinHTTP call that may wait, on the request: false as a failed
// call when the caller has abandoned the exchange, before or during it.
// The handles are not to be used again after such a false.
template <typename Call>
bool Step(CExchange &x, Call call) {
  {
    CLockHold hold(x.lock);
    if (x.abandoned) {
      SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
      return false;
    }
    x.inCall = true;
  }
  BOOL ok = call();
  DWORD error = GetLastError();
  {
    CLockHold hold(x.lock);
    x.inCall = false;
    if (x.abandoned) {
      ok = FALSE;
      error = ERROR_WINHTTP_OPERATION_CANCELLED;
    }
  }
  SetLastError(error);
  return ok != FALSE;
}

// Keeps an opened handle for the exchange to close; false (with the last
// error of the open) when there is none.
bool Keep(CExchange &x, Handle which, HINTERNET handle) {
  DWORD error = GetLastError();
  CLockHold hold(x.lock);
  x.handles[which] = handle;
  SetLastError(error);
  return handle != nullptr;
}

// The caller gives up: a call waiting on the request is ended by closing
// it; between calls the exchange stops before its next one.
void Abandon(CExchange &x) {
  HINTERNET request = nullptr;
  {
    CLockHold hold(x.lock);
    x.abandoned = true;
    if (x.inCall) std::swap(request, x.handles[kRequest]);
  }
  if (request != nullptr) WinHttpCloseHandle(request);
}

void CloseHandles(CExchange &x) {
  CLockHold hold(x.lock);
  for (int i = kHandleCount - 1; i >= 0; --i) {
    if (x.handles[i] != nullptr) WinHttpCloseHandle(x.handles[i]);
    x.handles[i] = nullptr;
  }
}

// The reply's Retry-After into the exchange, when it has one of printable
// ASCII within the bound (RFC 9110 section 10.2.3).
void ReadRetryAfter(CExchange &x, HINTERNET request) {
  wchar_t value[kMaxRetryAfterField + 1] = {};
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RETRY_AFTER, WINHTTP_HEADER_NAME_BY_INDEX, value,
                           &size, WINHTTP_NO_HEADER_INDEX))
    return;
  std::size_t length = 0;
  for (DWORD i = 0; i < size / sizeof(wchar_t) && value[i] != L'\0'; ++i) {
    if (value[i] < 0x20 || value[i] > 0x7E || length == kMaxRetryAfterField) return;
    x.retryAfter[length++] = static_cast<char>(value[i]);
  }
  x.retryAfterLength = length;
}

// Reads the body into the exchange's; false with the last error set, or
// with *tooLarge when it passes the bound.
bool ReadBody(CExchange &x, HINTERNET request, bool *tooLarge) {
  char piece[kReadPiece];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!LimitNextStep(request, x.deadline) ||
        !Step(x, [&] { return WinHttpReadData(request, piece, sizeof piece, &got); })) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!x.body.Append(piece, got)) {
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

// The exchange proper: allocates nothing of ours and throws nothing, so
// that it can run on a thread of its own.
HttpsOutcome Exchange(CExchange &x, int *status, int *error) {
  if (!Keep(x, kSession,
            WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                        WINHTTP_NO_PROXY_BYPASS, 0)) ||
      (!SetDword(x.handles[kSession], WINHTTP_OPTION_SECURE_PROTOCOLS, kProtocols) &&
       !SetDword(x.handles[kSession], WINHTTP_OPTION_SECURE_PROTOCOLS, kProtocolFloor))) {
    *error = static_cast<int>(GetLastError());
    return HttpsOutcome::kSetup;
  }
  HINTERNET connection = WinHttpConnect(x.handles[kSession], x.host.c_str(), x.port, 0);
  HINTERNET request = !Keep(x, kConnection, connection)
                          ? nullptr
                          : WinHttpOpenRequest(connection, kPost, x.path.c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               WINHTTP_FLAG_SECURE);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&x.secure);
  if (!Keep(x, kRequest, request) ||
      !SetDword(request, WINHTTP_OPTION_DISABLE_FEATURE, kDisabledFeatures) ||
      !SetDword(request, WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH) ||
      (!x.verify && !SetDword(request, WINHTTP_OPTION_SECURITY_FLAGS, kIgnoreCertificate)) ||
      !WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      WinHttpSetStatusCallback(request, OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK) {
    *error = static_cast<int>(GetLastError());
    return HttpsOutcome::kSetup;
  }

  // The request line and headers only; the body announced by its length.
  const DWORD formLength = static_cast<DWORD>(x.form.size());
  if (!LimitNextStep(request, x.deadline) || !Step(x, [&] {
        return WinHttpSendRequest(request, kHeaders, static_cast<DWORD>(-1),
                                  WINHTTP_NO_REQUEST_DATA, 0, formLength, 0);
      }))
    return Failure(GetLastError(), x.secure, x.deadline, error);
  for (DWORD sent = 0; sent < formLength;) {
    DWORD written = 0;
    if (!LimitNextStep(request, x.deadline) || !Step(x, [&] {
          return WinHttpWriteData(request, x.form.data() + sent, formLength - sent, &written);
        }))
      return Failure(GetLastError(), x.secure, x.deadline, error);
    sent += written;
  }
  if (!LimitNextStep(request, x.deadline) ||
      !Step(x, [&] { return WinHttpReceiveResponse(request, nullptr); }))
    return Failure(GetLastError(), x.secure, x.deadline, error);
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
    return Failure(GetLastError(), x.secure, x.deadline, error);
  *status = static_cast<int>(code);
  ReadRetryAfter(x, request);
  bool tooLarge = false;
  if (!ReadBody(x, request, &tooLarge))
    return tooLarge ? HttpsOutcome::kTooLarge : Failure(GetLastError(), x.secure, x.deadline, error);
  return HttpsOutcome::kDone;
}

void RunExchange(CExchange &x) {
  x.outcome = Exchange(x, &x.status, &x.error);
  CloseHandles(x);
  x.done.Raise();
}

}  // namespace

HttpsOutcome PostForm(const CHttpsPost &post, const std::string &form, int *status,
                      CReplyBody &body, int *error) {
  *status = 0;
  *error = 0;
  auto x = std::make_shared<CExchange>();
  x->deadline = Clock::now() + std::chrono::milliseconds(post.timeoutMs);

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
  x->host.assign(parts.lpszHostName, parts.dwHostNameLength);
  // The path and query; a fragment is the client's own (RFC 3986 section
  // 3.5) and never sent.
  x->path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  x->path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  x->path = x->path.substr(0, x->path.find(L'#'));
  if (x->path.empty()) x->path = L"/";
  x->port = parts.nPort;
  x->verify = post.verify;
  x->form.assign(form.data(), form.size());

  // Without a probe, or without a thread, nothing can abandon it: it runs
  // here.
  if (post.cancel == nullptr || !StartDetachedThread([x] { RunExchange(*x); })) {
    RunExchange(*x);
  } else {
    while (!x->done.Wait(kCancelSliceMs)) {
      if (post.cancel->Cancelled()) {
        Abandon(*x);
        return HttpsOutcome::kCancelled;
      }
    }
  }
  *status = x->status;
  *error = x->error;
  if (post.retryAfter != nullptr) post.retryAfter->assign(x->retryAfter, x->retryAfterLength);
  body.Bytes().swap(x->body.Bytes());
  return x->outcome;
}
