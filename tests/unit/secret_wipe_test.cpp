// No copy of the user name, the password or the encoded credential line is
// left in freed memory by a call, whichever way it ends: delivered, refused,
// cut off, refused before the server is contacted, or never connected; with
// the credentials given as varchar and as nvarchar (N'...'). Nor of the
// client secret or the token of a call that fetches its token: the HTTPS
// endpoint is tests/integration/test_oauth.py's, which runs that case. Nor
// of a profile's user and secret, read from the store by a call that names
// the profile.
//
// To see freed memory, this file replaces the global operator new and
// delete of the whole test program: each block is handed out zeroed and
// carries its size in front, and while a CFreedWatch is armed on a thread,
// every block freed on that thread is searched for the watched bytes before
// it goes back to malloc.
// Servers run on threads of their own, so what they record is not
// searched. Memory of malloc (C libraries) is not seen. A self-check proves
// that the watch sees a plain std::string, so a build whose replacement did
// not take cannot pass unnoticed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "mail/secret_string.h"
#include "mail/smtp_mail.h"
#include "oauth/token_form.h"
#include "proc/com_guard.h"
#include "proc/request_driver.h"
#include "profile/profile_store.h"
#include "tests/support/accepting_server.h"
#include "tests/support/base64_line.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/standin_call.h"
#include "tests/support/test_store.h"

namespace {

// Room in front of each block for its size, keeping malloc's alignment.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

// Counts the freed blocks, on the thread that made it, that hold one of the
// watched byte strings; armed from construction to destruction.
class CFreedWatch {
 public:
  explicit CFreedWatch(std::vector<std::string> watched) : m_watched(std::move(watched)) {
    s_armed = this;
  }
  ~CFreedWatch() { s_armed = nullptr; }
  CFreedWatch(const CFreedWatch &) = delete;
  CFreedWatch &operator=(const CFreedWatch &) = delete;

  int Found() const { return m_found; }
  std::size_t FirstSize() const { return m_firstSize; }

  static void Inspect(const void *block, std::size_t size) {
    CFreedWatch *watch = s_armed;
    if (watch == nullptr) return;
    std::string_view bytes(static_cast<const char *>(block), size);
    for (const std::string &w : watch->m_watched) {
      if (w.empty() || bytes.find(w) == std::string_view::npos) continue;
      if (watch->m_found++ == 0) watch->m_firstSize = size;
      return;
    }
  }

 private:
  static thread_local CFreedWatch *s_armed;
  std::vector<std::string> m_watched;
  int m_found = 0;
  std::size_t m_firstSize = 0;
};

thread_local CFreedWatch *CFreedWatch::s_armed = nullptr;

// Blocks are handed out zeroed: what malloc's earlier users left in them
// (the test's own copies of the watched bytes among it) must not be taken
// for a copy made by the block's owner.
void *Allocate(std::size_t size) {
  void *block = std::calloc(1, size + kBlockHeader);
  if (block == nullptr) return nullptr;
  *static_cast<std::size_t *>(block) = size;
  return static_cast<char *>(block) + kBlockHeader;
}

void Release(void *p) {
  if (p == nullptr) return;
  char *block = static_cast<char *>(p) - kBlockHeader;
  CFreedWatch::Inspect(p, *reinterpret_cast<std::size_t *>(block));
  std::free(block);
}

}  // namespace

// Every form: a sanitizer's runtime defines each of its own, and a block
// must come back to the pair it came from.
void *operator new(std::size_t size) {
  void *p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, std::size_t) noexcept { Release(p); }
void operator delete[](void *p, std::size_t) noexcept { Release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Release(p); }

namespace {

constexpr char kUser[] = "wipe-user-K3v8";
// Longer than any inline string buffer, so that copies reach the heap.
constexpr char kPassword[] = "Wipe-Me-7Qx9#secret-password";
constexpr char kShortPassword[] = "pw-7Qx9";

std::u16string Wide(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::string Utf16Bytes(std::string_view text) {
  std::u16string wide = Wide(text);
  return std::string(reinterpret_cast<const char *>(wide.data()), 2 * wide.size());
}

// Watched: the start and the end of every form in which the credentials
// pass through the procedure, so that a copy of a part is seen too.
constexpr std::size_t kWindow = 16;

std::vector<std::string> Forms(std::string_view user, std::string_view password) {
  std::vector<std::string> watched;
  // The AUTH PLAIN response as it goes out in base64.
  const std::string response = Base64Text(PlainResponse(std::string(user), std::string(password)));
  // The password as a token request's form field.
  std::string field;
  AppendFormEncoded(password, field);
  for (const std::string &form : {std::string(user), std::string(password), Utf16Bytes(user),
                                  Utf16Bytes(password), response, field}) {
    std::size_t n = form.size() < kWindow ? form.size() : kWindow;
    watched.push_back(form.substr(0, n));
    watched.push_back(form.substr(form.size() - n));
  }
  return watched;
}

TEST(SecretWipe, TheWatchSeesAPlainStringAndNoSecretString) {
  std::string plain(kPassword);
  {
    CFreedWatch watch(Forms(kUser, kPassword));
    plain.append(200, 'x');  // the old buffer is freed unwiped
    plain = std::string();
    EXPECT_GE(watch.Found(), 1) << "operator delete is not the test's: nothing below is checked";
  }
  const std::u16string password16 = Wide(kPassword);
  CFreedWatch watch(Forms(kUser, kPassword));
  {
    CSecretString secret(kPassword);
    CSecretString copy = secret;
    for (int i = 0; i < 8; ++i) copy += copy;  // grows through several buffers
    CSecretString moved = std::move(copy);
    CSecretU16String wide(password16.c_str());
    wide.append(100, u'x');
  }
  EXPECT_EQ(watch.Found(), 0) << "first block of " << watch.FirstSize() << " bytes";
}

enum class Server { kAccepting, kRefusing, kClosing, kNone };

struct WipeCase {
  const char *name;
  const char *password;
  bool wide;         // the credentials as nvarchar
  Server server;
  const char *tls;   // "@tls", when given
  bool sent;
  const char *tokenUrl = nullptr;  // "@oauth_token_url": the password is the client secret
  const char *token = nullptr;     // the token its endpoint issues
  bool profile = false;  // the server and the credentials from a profile
};

// A profile of the test's store with the call's server and credentials.
std::string PutProfile(const std::string &port, const char *password) {
  const std::string name = UniqueProfileName("wipe");
  std::string text;
  EXPECT_TRUE(UpdateProfileStore(
      [&](CProfileStore &store, CStoreChange &change, std::string &) {
        CProfile p;
        p.name = name;
        p.allow = "public";
        CProfileAccount a;
        a.server = "127.0.0.1";
        a.port = std::stoi(port);
        a.user = kUser;
        a.secret = password;
        p.SetAccount(std::move(a));
        store.Put(std::move(p));
        change.profile = name;
        return true;
      },
      text))
      << text;
  return name;
}

// One call, during which no freed block may hold a form of the credentials.
void CallAndWatch(const WipeCase &c) {
  CAcceptingServer accepting;
  CScriptedServer scripted;
  scripted.Send("220 hi\r\n").ExpectAnyLine().Send("250 hello\r\n").Expect("AUTH PLAIN\r\n");
  if (c.server == Server::kRefusing) scripted.Send("334 \r\n").ExpectAnyLine().Send("535 no\r\n");
  if (c.server == Server::kClosing) scripted.Send("334 \r\n").ExpectAnyLine().Close();
  std::string port = std::to_string(TestUnusedPort(TestFamily::kIpv4));
  if (c.server == Server::kAccepting) {
    EXPECT_TRUE(accepting.Start());
    port = std::to_string(accepting.Port());
  } else if (c.server != Server::kNone) {
    EXPECT_TRUE(scripted.Start());
    port = std::to_string(scripted.Port());
  }
  CTestStore store;
  CStandinCall call;
  const std::string profile = c.profile ? PutProfile(port, c.password) : "";
  if (c.profile)
    call.NVarchar("@profile", Wide(profile));
  else
    call.Varchar("@server", "127.0.0.1").Varchar("@port", port);
  call.Varchar("@recipients", "ann@example.com")
      .Varchar("@from", "bob@example.com")
      .Varchar("@subject", "wipe")
      .Varchar("@message", "Hello.");
  if (c.wide && !c.profile)
    call.NVarchar("@user", Wide(kUser)).NVarchar("@pwd", Wide(c.password));
  else if (!c.profile)
    call.Varchar("@user", kUser).Varchar("@pwd", c.password);
  if (c.tls != nullptr) call.Varchar("@tls", c.tls);
  std::vector<std::string> watched = Forms(kUser, c.password);
  if (c.tokenUrl != nullptr) {
    call.Varchar("@oauth_token_url", c.tokenUrl)
        .Varchar("@oauth_client_id", "wipe-client")
        .Varchar("@tls_verify", "no")
        .Varchar("@auth", "plain");
  }
  if (c.token != nullptr)
    for (std::string &form : Forms(kUser, c.token)) watched.push_back(std::move(form));

  CComGuard com;
  bool sent = false;
  {
    CFreedWatch watch(std::move(watched));
    {
      CSmtpMail mail;
      mail.SetTimeouts(TestTimeouts());
      sent = RunRequestWith(call.Proc(), mail);
    }
    EXPECT_EQ(watch.Found(), 0) << "first block of " << watch.FirstSize() << " bytes";
  }
  accepting.Stop();
  scripted.Stop();
  EXPECT_EQ(sent, c.sent) << (sent ? "" : call.MessageText());
  std::string text;
  if (c.profile)
    UpdateProfileStore(
        [&](CProfileStore &s, CStoreChange &change, std::string &) {
          change.profile = profile;
          return s.Remove(profile);
        },
        text);
}

TEST(SecretWipe, NoCopyOfTheCredentialsSurvivesACall) {
  const std::string tooLong = kPassword + std::string(750, 'p') + kPassword;
  const WipeCase cases[] = {
      {"delivered", kPassword, false, Server::kAccepting, nullptr, true},
      {"delivered, nvarchar", kPassword, true, Server::kAccepting, nullptr, true},
      {"delivered, short password", kShortPassword, true, Server::kAccepting, nullptr, true},
      {"credentials refused", kPassword, false, Server::kRefusing, nullptr, false},
      {"closed after the credentials, nvarchar", kPassword, true, Server::kClosing, nullptr,
       false},
      {"credential block too long, nvarchar", tooLong.c_str(), true, Server::kRefusing, nullptr,
       false},
      {"refused before the server is contacted", kPassword, true, Server::kNone, "bogus", false},
      {"no server", kPassword, true, Server::kNone, nullptr, false},
      {"token endpoint unreachable", kPassword, true, Server::kNone, nullptr, false,
       "https://127.0.0.1:1/token"},
      {"through a profile", kPassword, false, Server::kAccepting, nullptr, true, nullptr, nullptr,
       true},
      {"through a profile, credentials refused", kPassword, false, Server::kRefusing, nullptr,
       false, nullptr, nullptr, true},
  };
  for (const WipeCase &c : cases) {
    SCOPED_TRACE(c.name);
    CallAndWatch(c);
  }
}

// A whole call that fetches its token from the endpoint that
// MAILVANE_TOKEN_URL names, issuing MAILVANE_TOKEN (test_oauth.py).
TEST(SecretWipe, NoCopyOfTheTokenSurvivesAFetch) {
  const char *url = std::getenv("MAILVANE_TOKEN_URL");
  const char *token = std::getenv("MAILVANE_TOKEN");
  if (url == nullptr || token == nullptr) GTEST_SKIP() << "MAILVANE_TOKEN_URL not set";
  CallAndWatch({"token fetched", kPassword, true, Server::kAccepting, nullptr, true, url, token});
}

}  // namespace
