// The portable half of the token fetch: the form of the request and the
// reading of the reply, hostile replies among them; the keyed hash, the
// Retry-After reader and the token cache with a fixed clock. The HTTPS
// exchange is tested against a local endpoint
// (tests/integration/test_oauth.py).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "charset/threads.h"
#include "oauth/keyed_hash.h"
#include "oauth/retry_after.h"
#include "oauth/token_cache.h"
#include "oauth/token_fetch.h"
#include "oauth/token_form.h"
#include "oauth/token_reply.h"
#include "tests/support/hex_text.h"

namespace {

constexpr char kSecret[] = "s3cr&t=~x";
constexpr char kTokenJwt[] = "eyJ0eXAiOiJKV1Qi.eyJhdWQiOiJodHRwcyJ9.c2ln-_";

TEST(TokenForm, FieldsAreFormEncoded) {
  struct Row {
    const char *value;
    const char *encoded;
  } rows[] = {
      {"AZaz09*-._", "AZaz09*-._"},
      {"a b", "a+b"},
      {"a+b&c=d%", "a%2Bb%26c%3Dd%25"},
      {"~/:?#", "%7E%2F%3A%3F%23"},
      {"\xC3\xA9\r\n", "%C3%A9%0D%0A"},
      {"", ""},
  };
  for (const Row &row : rows) {
    std::string out;
    AppendFormEncoded(row.value, out);
    EXPECT_EQ(out, row.encoded) << row.value;
  }
  std::string body;
  BuildTokenForm("0b1c-id", kSecret, "https://outlook.office365.com/.default", body);
  EXPECT_EQ(body,
            "grant_type=client_credentials&client_id=0b1c-id&client_secret=s3cr%26t%3D%7Ex"
            "&scope=https%3A%2F%2Foutlook.office365.com%2F.default");
}

// A reply and what is read from it: the token, or the text of the refusal.
struct ReplyRow {
  const char *what;
  int status;
  std::string body;
  bool ok;
  std::string expected;
};

TEST(TokenReply, TokensAndRefusals) {
  const std::string noToken = "OAuth token reply holds no usable access token";
  const std::string tooLongToken(kMaxTokenLength + 1, 'a');
  const std::string deep = std::string(40000, '[') + std::string(40000, ']');
  const ReplyRow rows[] = {
      {"entra", 200,
       std::string("{\"token_type\":\"Bearer\",\"expires_in\":3599,\"ext_expires_in\":3599,"
                   "\"access_token\":\"") + kTokenJwt + "\"}",
       true, kTokenJwt},
      {"no type, padding", 200, "{\"access_token\":\"ya29.a0Af+/b==\"}", true, "ya29.a0Af+/b=="},
      {"byte order mark, escapes", 200, "\xEF\xBB\xBF{\"access\\u005ftoken\":\"a\\/b\"}", true,
       "a/b"},
      {"named twice", 200, "{\"access_token\":\"a\",\"access_token\":\"b\"}", true, "b"},
      {"type in any case", 200, "{\"access_token\":\"t\",\"token_type\":\"bEaReR\"}", true, "t"},
      {"longest token", 200, "{\"access_token\":\"" + std::string(kMaxTokenLength, 'b') + "\"}",
       true, std::string(kMaxTokenLength, 'b')},
      {"other type", 200, "{\"access_token\":\"t\",\"token_type\":\"mac\"}", false,
       "OAuth token reply is not of type Bearer"},
      {"type not text", 200, "{\"access_token\":\"t\",\"token_type\":1}", false,
       "OAuth token reply is not of type Bearer"},
      {"no token", 200, "{\"token_type\":\"Bearer\"}", false, noToken},
      {"empty token", 200, "{\"access_token\":\"\"}", false, noToken},
      {"number", 200, "{\"access_token\":12345}", false, noToken},
      {"null", 200, "{\"access_token\":null}", false, noToken},
      {"blank inside", 200, "{\"access_token\":\"a b\"}", false, noToken},
      {"line break", 200, "{\"access_token\":\"a\\r\\nRSET\"}", false, noToken},
      {"NUL", 200, "{\"access_token\":\"a\\u0000b\"}", false, noToken},
      {"padding inside", 200, "{\"access_token\":\"a=b\"}", false, noToken},
      {"only padding", 200, "{\"access_token\":\"==\"}", false, noToken},
      {"too long", 200, "{\"access_token\":\"" + tooLongToken + "\"}", false, noToken},
      {"nested", 200, "{\"x\":{\"access_token\":\"t\"}}", false, noToken},
      {"array", 200, "[{\"access_token\":\"t\"}]", false, noToken},
      {"html", 200, "<html>sign in</html>", false, noToken},
      {"empty body", 200, "", false, noToken},
      {"cut short", 200, "{\"access_token\":\"t", false, noToken},
      {"trailing junk", 200, "{\"access_token\":\"t\"} x", false, noToken},
      {"NUL after the object", 200, std::string("{\"access_token\":\"t\"}\0x", 22), false, noToken},
      {"bad UTF-8", 200, "{\"access_token\":\"t\",\"x\":\"\xFF\"}", false, noToken},
      {"cut inside a character", 200, "{\"access_token\":\"t\",\"x\":\"\xF0", false, noToken},
      {"deep nesting", 200, deep, false, noToken},
      {"invalid_client", 401,
       "{\"error\":\"invalid_client\",\"error_description\":\"AADSTS7000215: Invalid client "
       "secret provided.\\r\\nTrace ID: 1f\\r\\n\",\"error_codes\":[7000215]}",
       false,
       "OAuth token request failed(401): invalid_client: AADSTS7000215: Invalid client secret "
       "provided. Trace ID: 1f"},
      {"error alone", 400, "{\"error\":\"invalid_scope\"}", false,
       "OAuth token request failed(400): invalid_scope"},
      {"hostile bytes", 400, "{\"error\":\"x\\u0007\\u00e9\\ty\",\"error_description\":7}",
       false, "OAuth token request failed(400): x??? y"},
      {"description cut", 400,
       "{\"error\":\"" + std::string(100, 'e') + "\",\"error_description\":\"" +
           std::string(1000, 'd') + "\"}",
       false,
       "OAuth token request failed(400): " + std::string(64, 'e') + "...: " +
           std::string(384, 'd') + "..."},
      {"secret echoed", 400,
       std::string("{\"error\":\"invalid_client\",\"error_description\":\"bad secret ") + kSecret +
           "\"}",
       false, "OAuth token request failed(400): invalid_client: (withheld)"},
      {"encoded secret echoed", 400,
       "{\"error\":\"client_secret=s3cr%26t%3D%7Ex\",\"error_description\":\"\"}", false,
       "OAuth token request failed(400): (withheld)"},
      {"error not text", 400, "{\"error\":{\"code\":1}}", false,
       "OAuth token request failed(400)"},
      {"token with an error status", 400, "{\"access_token\":\"t\"}", false,
       "OAuth token request failed(400)"},
      {"html error", 503, "<html>busy</html>", false, "OAuth token request failed(503)"},
      {"redirect", 302, "", false, "OAuth token request failed(302)"},
  };
  for (const ReplyRow &row : rows) {
    CSecretString token = "left over";
    std::string text;
    CSecretString body(row.body.data(), row.body.size());
    EXPECT_EQ(ReadTokenReply(row.status, body, kSecret, token, text), row.ok) << row.what;
    EXPECT_EQ(row.ok ? std::string(token.data(), token.size()) : text, row.expected) << row.what;
    if (!row.ok) {
      EXPECT_TRUE(token.empty()) << row.what;
    }
    EXPECT_EQ(text.find(kSecret), std::string::npos) << row.what;
  }
}

// The lifetime read with a token: seconds as a number, or as digits in a
// string; nothing else.
TEST(TokenReply, LifetimeComesWithTheToken) {
  const std::pair<std::string, std::optional<std::int64_t>> rows[] = {
      {"3599", 3599}, {"\"3600\"", 3600}, {"0", 0}, {"", std::nullopt}, {"-1", std::nullopt},
      {"1.5", std::nullopt}, {"\"1h\"", std::nullopt}, {"[1]", std::nullopt}};
  for (const auto &[value, expected] : rows) {
    const std::string member = value.empty() ? "" : ",\"expires_in\":" + value;
    const std::string json = "{\"access_token\":\"t\"" + member + "}";
    CSecretString body(json.data(), json.size()), token;
    std::string text;
    std::optional<std::int64_t> seconds = -7;
    EXPECT_TRUE(ReadTokenReply(kStatusOk, body, kSecret, token, text, &seconds)) << json;
    EXPECT_EQ(seconds, expected) << json;
  }
}

// The URL a trace shows: user information before the host is hidden, an
// "@" further along is not.
TEST(TokenUrl, CredentialsInTheAuthorityAreHidden) {
  const char *rows[][2] = {
      {"https://login.example.com/t/oauth2/v2.0/token", "https://login.example.com/t/oauth2/v2.0/token"},
      {"https://id:s3cr@t@h:8443/token", "https://<credentials hidden>@h:8443/token"},
      {"https://h/token?for=a@b", "https://h/token?for=a@b"},
      {"https://u@h", "https://<credentials hidden>@h"},
  };
  for (const auto &row : rows) EXPECT_EQ(ShownTokenUrl(row[0]), row[1]);
}

// RFC 4231 section 4, test cases 1 to 4, 6 and 7 (keys longer than a block
// among them).
TEST(KeyedHash, Rfc4231Vectors) {
  const std::string big(131, '\xaa');
  std::string counting;
  for (char c = 1; c <= 25; ++c) counting += c;
  const std::string rows[][3] = {
      {std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {counting, std::string(50, '\xcd'),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {big, "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {big,
       "This is a test using a larger than block-size key and a larger than block-size data. "
       "The key needs to be hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  for (const auto &[key, data, expected] : rows) {
    unsigned char out[kKeyedHashSize];
    ASSERT_TRUE(KeyedHash(reinterpret_cast<const unsigned char *>(key.data()), key.size(), data,
                          out));
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char *>(out), sizeof out)), expected) << data;
  }
}

// Seconds, or an HTTP-date in its three forms, against a fixed now
// (1994-11-06 08:49:37 UTC); bounded at a day; anything else is no value.
TEST(RetryAfter, SecondsAndDates) {
  constexpr std::int64_t kNow = 784111777;
  const std::pair<const char *, std::optional<std::int64_t>> rows[] = {
      {"60", 60}, {" 120\t", 120}, {"0", 0}, {"86401", 86400},
      {"99999999999999999999999", 86400}, {"Sun, 06 Nov 1994 08:50:37 GMT", 60},
      {"Sunday, 06-Nov-94 08:49:47 GMT", 10}, {"Sun Nov  6 08:49:57 1994", 20},
      {"Sat, 05 Nov 1994 08:49:37 GMT", 0}, {"Mon, 07 Nov 1994 08:49:38 GMT", 86400},
      {"", std::nullopt}, {"-1", std::nullopt}, {"1.5", std::nullopt}, {"6 0", std::nullopt},
      {"Sun, 06 Nov 1994 08:50:37 UTC", std::nullopt},
      {"Sun, 32 Nov 1994 08:50:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 24:50:37 GMT", std::nullopt}};
  for (const auto &[value, expected] : rows)
    EXPECT_EQ(RetryAfterSeconds(value, kNow), expected) << value;
}

class CFixedClock : public CCacheClock {
 public:
  std::int64_t NowMs() const override { return now; }
  std::int64_t now = 0;
};

CTokenKey KeyOf(CTokenCache &cache, const std::string &clientId, const char *secret = kSecret,
                bool verify = true) {
  CTokenEndpoint endpoint{"https://login.example.com/t/token", clientId, "scope", verify};
  CTokenKey key;
  EXPECT_TRUE(cache.MakeKey(endpoint, secret, key));
  return key;
}

// What Look finds for key: "kept <token> <seconds left>", "shared <token>",
// "fetch" (the fetch is abandoned) or the failure's text.
std::string Found(CTokenCache &cache, const CTokenKey &key, int waitMs = 0,
                  CCancelProbe *cancel = nullptr) {
  CSecretString token;
  std::int64_t left = -1;
  std::string text;
  switch (cache.Look(key, waitMs, token, left, text, cancel)) {
    case TokenLookup::kKept: return "kept " + std::string(token) + " " + std::to_string(left);
    case TokenLookup::kShared: return "shared " + std::string(token);
    case TokenLookup::kFetch: cache.Abandon(key); return "fetch";
    case TokenLookup::kFailed: break;
  }
  return text;
}

// A fetch for key that ends with token (empty: with failure and wait).
void Fetch(CTokenCache &cache, const CTokenKey &key, const std::string &token,
           std::optional<std::int64_t> expiresIn, CFetchDetails details = CFetchDetails(),
           const std::string &failure = "") {
  details.expiresIn = expiresIn;
  CSecretString got;
  std::int64_t left = 0;
  std::string text;
  ASSERT_EQ(cache.Look(key, 0, got, left, text), TokenLookup::kFetch);
  CSecretString fetched(token.data(), token.size());
  cache.Finish(key, token.empty() ? nullptr : &fetched, details, failure);
}

TEST(TokenCache, KeptUntilFiveMinutesBeforeItExpires) {
  // (expires_in, seconds kept: 0 for not kept)
  const std::pair<std::optional<std::int64_t>, std::int64_t> rows[] = {
      {std::nullopt, 0}, {240, 0}, {300, 0}, {301, 1}, {3599, 3299}, {1000000000000, 86100}};
  for (const auto &[expiresIn, kept] : rows) {
    CFixedClock clock;
    CTokenCache cache(&clock);
    const CTokenKey key = KeyOf(cache, "id");
    Fetch(cache, key, "t1", expiresIn);
    clock.now = kept * 1000 - 1;
    EXPECT_EQ(Found(cache, key), kept > 0 ? "kept t1 0" : "fetch") << kept;
    clock.now = kept * 1000;
    EXPECT_EQ(Found(cache, key), "fetch") << kept;
    EXPECT_EQ(cache.Entries(), 0u);
  }
}

TEST(TokenCache, KeysEvictionWaitsAndDrops) {
  CFixedClock clock;
  CTokenCache cache(&clock);
  // Full: the 65th token pushes out the one that expires first.
  for (int i = 0; i <= 64; ++i)
    Fetch(cache, KeyOf(cache, "id" + std::to_string(i)), "t", 1000 - i % 64);
  EXPECT_EQ(cache.Entries(), kMaxEntries);
  EXPECT_EQ(Found(cache, KeyOf(cache, "id63")), "fetch");
  EXPECT_EQ(Found(cache, KeyOf(cache, "id64")), "kept t 700");
  // Another secret or an unchecked endpoint is another key.
  EXPECT_EQ(Found(cache, KeyOf(cache, "id1", "other")), "fetch");
  EXPECT_EQ(Found(cache, KeyOf(cache, "id1", kSecret, false)), "fetch");
  // A refused token is dropped only while it is the one kept.
  const CTokenKey key = KeyOf(cache, "id1");
  cache.Drop(key, "other token");
  EXPECT_EQ(Found(cache, key), "kept t 699");
  cache.Drop(key, "t");
  EXPECT_EQ(Found(cache, key), "fetch");
  // A wait asked for: no fetch until it has passed, the time left in the text.
  CFetchDetails wait;
  wait.waitSeconds = 60;
  wait.status = 429;
  wait.refusalFields = ": temporarily_unavailable";
  Fetch(cache, key, "", std::nullopt, wait, "asked");
  clock.now += 18500;
  EXPECT_EQ(Found(cache, key),
            "OAuth token endpoint asks to wait 42 s(429): temporarily_unavailable");
  clock.now += 41500;
  EXPECT_EQ(Found(cache, key), "fetch");
}

// Calls that find a fetch running wait for it and share its outcome, each
// within its own limit; an abandoned fetch leaves the next one to them.
TEST(TokenCache, WaitersShareTheRunningFetch) {
  CTokenCache cache;
  const CTokenKey key = KeyOf(cache, "id");
  for (const char *token : {"t9", ""}) {
    CSecretString got;
    std::int64_t left = 0;
    std::string text;
    ASSERT_EQ(cache.Look(key, 0, got, left, text), TokenLookup::kFetch);
    EXPECT_EQ(Found(cache, key, 50), "OAuth token request timeout");
    // A client that gives up stops waiting at once.
    struct : CCancelProbe {
      bool Cancelled() override { return true; }
    } cancelled;
    EXPECT_EQ(Found(cache, key, 10000, &cancelled), "Call cancelled");
    std::vector<std::string> seen(3);
    std::vector<CThread> waiters(seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i)
      ASSERT_TRUE(waiters[i].Start([&, i] { seen[i] = Found(cache, key, 10000); }));
    SleepMilliseconds(300);
    CSecretString fetched(token);
    cache.Finish(key, *token != '\0' ? &fetched : nullptr, {}, "refused");
    for (CThread &t : waiters) t.Join();
    for (const std::string &s : seen) EXPECT_EQ(s, *token != '\0' ? "shared t9" : "refused");
  }
  EXPECT_EQ(cache.Entries(), 0u);
}

}  // namespace
