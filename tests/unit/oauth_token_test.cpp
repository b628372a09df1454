// The portable half of the token fetch: the form of the request and the
// reading of the reply, hostile replies among them. The HTTPS exchange is
// tested against a local endpoint (tests/integration/test_oauth.py).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "oauth/token_fetch.h"
#include "oauth/token_form.h"
#include "oauth/token_reply.h"

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

}  // namespace
