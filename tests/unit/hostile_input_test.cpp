// Hostile values in each of the procedure's parameters, through the
// request driver against a server that answers everything and records
// every byte: line breaks, NUL, bytes above 0x7F, lone dots, 1 MiB values
// and lists with such entries, as varchar and as nvarchar. Each is either
// refused with its text before the mail's transaction reaches the wire, or
// sent in a form that cannot change the dialogue: no bare CR or LF, no NUL
// and no byte above 0x7F in a command or header line, no line longer than
// 998 bytes in the message, dot-stuffing intact, and the message ends
// where the client ends it, with all of its text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "charset/system_name.h"
#include "mail/smtp_mail.h"
#include "proc/com_guard.h"
#include "proc/request_driver.h"
#include "tests/support/accepting_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/standin_call.h"
#include "tests/support/temp_files.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
// The longest line RFC 5322 section 2.1.1 allows, without its CR LF.
constexpr std::size_t kLongestMessageLine = 998;
// The client's own bound on its longest command, CR LF included.
constexpr std::size_t kLongestCommand = 1001;
// A hostile call still ends well within this (a 1 MiB body included).
constexpr long kCallBoundMs = 15000;
// Ends every body: a message that ended early would lack it.
constexpr char kBodyEnd[] = "END-OF-BODY";

// How a hostile call must end.
enum class Outcome {
  kSent,           // delivered; the recorded bytes are checked
  kNotContacted,   // refused before any connection
  kNoTransaction,  // refused after connecting, before MAIL FROM
  kNoData,         // refused before DATA (the envelope was refused)
  kAborted,        // refused during the message, which was never ended
};

struct HostileCase {
  const char *name;
  const char *param;
  std::string value;          // as varchar, unless wide is set
  std::u16string wide;        // as nvarchar when not empty
  Outcome outcome;
  std::string text;           // the message; a text ending in "(" is a prefix
  std::string inMessage = {};     // must appear in the unstuffed message
  std::string notInMessage = {};  // must not
};

bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

std::string Printable(const std::string &bytes) {
  std::string out;
  for (unsigned char c : bytes.substr(0, 200)) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

// Every command line: CR LF only at its end, no NUL or byte above 0x7F,
// within the client's bound.
void CheckCommands(const CAcceptingServer &server, bool aborted) {
  for (const std::string &line : server.Commands()) {
    SCOPED_TRACE(Printable(line));
    std::string content = line.substr(0, line.size() - 2);
    EXPECT_EQ(content.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    bool plain = true;
    for (unsigned char c : content) plain = plain && c >= 0x20 && c < 0x7F;
    EXPECT_TRUE(plain) << "command not plain 7-bit text";
    EXPECT_LE(line.size(), kLongestCommand);
  }
  EXPECT_EQ(server.Unknown(), 0);
  std::vector<std::string> problems = server.Problems();
  if (aborted) {
    EXPECT_EQ(problems, std::vector<std::string>{"data not ended"});
  } else {
    for (const std::string &p : problems) ADD_FAILURE() << p;
  }
}

// The message: lines ended by CR LF only and at most 998 bytes; the header
// lines plain 7-bit text without NUL.
void CheckMessage(const std::string &message) {
  std::size_t start = 0;
  bool inHeader = true;
  while (start < message.size()) {
    std::size_t end = message.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "message does not end with CR LF";
    std::string line = message.substr(start, end - start);
    SCOPED_TRACE(Printable(line));
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare line break";
    EXPECT_LE(line.size(), kLongestMessageLine);
    if (line.empty()) inHeader = false;
    if (inHeader) {
      bool plain = true;
      for (unsigned char c : line) plain = plain && ((c >= 0x20 && c < 0x7F) || c == '\t');
      EXPECT_TRUE(plain) << "header line not plain 7-bit text";
    }
    EXPECT_EQ(line.find('\0'), std::string::npos) << "NUL in the message";
    start = end + 2;
  }
}

// expected may list alternatives joined by "|" (texts that hold a platform
// error number differ by platform).
bool TextMatches(const std::string &actual, const std::string &expected) {
  if (!expected.empty() && expected.back() == '(') return actual.rfind(expected, 0) == 0;
  return actual == expected;
}

void ExpectText(const std::string &actual, const std::string &expected) {
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = expected.find('|', start);
    if (TextMatches(actual, expected.substr(start, bar == std::string::npos ? bar : bar - start)))
      return;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  ADD_FAILURE() << "text: " << actual << "\nexpected: " << expected;
}

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    m_file = m_dir.Write("a.txt", "attached text\r\n");
  }

  // Runs one case against a fresh server.
  void Run(const HostileCase &c) {
    SCOPED_TRACE(c.name);
    CAcceptingServer server;
    ASSERT_TRUE(server.Start());
    std::map<std::string, std::string> values = {
        {"@server", server.Host()},   {"@port", std::to_string(server.Port())},
        {"@recipients", "a@x"},       {"@from", "f@x"},
        {"@copy_recipients", "c@x"},  {"@blind_copy_recipients", "b@x"},
        {"@subject", "s"},            {"@message", std::string("body ") + kBodyEnd},
        {"@type", "text/plain"},
    };
    const std::string param = c.param;
    if (param == "@user") values["@pwd"] = "p";
    if (param == "@pwd") values["@user"] = "u";
    CStandinCall call;
    bool wide = !c.wide.empty();
    for (const auto &kv : values)
      if (kv.first != param) call.Varchar(kv.first.c_str(), kv.second);
    if (wide)
      call.NVarchar(c.param, c.wide);
    else
      call.Varchar(c.param, Substitute(c.value, server));

    // As RunRequest does: the mail's multi-language service needs COM.
    CComGuard com;
    CSmtpMail mail;
    mail.SetTimeouts(TestTimeouts());
    TestClock::time_point start = TestClock::now();
    bool sent = RunRequestWith(call.Proc(), mail);
    long ms = ElapsedMs(start);
    server.Stop();
    EXPECT_LT(ms, kCallBoundMs);

    std::string text = sent ? "" : call.MessageText();
    if (sent) {
      EXPECT_EQ(call.Tokens().size(), 1u);  // DONE alone
    }
    ExpectText(text, c.text);
    EXPECT_EQ(sent, c.outcome == Outcome::kSent) << text;

    CheckCommands(server, c.outcome == Outcome::kAborted);
    std::vector<std::string> messages = server.Messages();
    for (const std::string &m : messages) CheckMessage(m);
    std::map<std::string, int> verbs;
    std::string dialogue;
    for (const std::string &line : server.Commands()) {
      ++verbs[CommandVerb(line)];
      dialogue += Printable(line.substr(0, 60)) + " | ";
    }
    if (std::getenv("HOSTILE_TRACE") != nullptr)
      std::printf("%-24s %5ldms sent=%d text=%s conn=%d msgs=%zu :: %s\n", c.name, ms, sent,
                  Printable(text).c_str(), server.Connections(), messages.size(), dialogue.c_str());
    switch (c.outcome) {
      case Outcome::kSent:
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(Contains(Unstuffed(messages[0]), kBodyEnd) || c.param == std::string("@message"));
        if (!c.inMessage.empty()) {
          EXPECT_TRUE(Contains(Unstuffed(messages[0]), c.inMessage)) << Printable(messages[0]);
        }
        if (!c.notInMessage.empty()) {
          EXPECT_FALSE(Contains(messages[0], c.notInMessage));
        }
        break;
      case Outcome::kNotContacted:
        EXPECT_EQ(server.Connections(), 0);
        break;
      case Outcome::kNoTransaction:
        EXPECT_EQ(verbs["MAIL"], 0);
        break;
      case Outcome::kNoData:
        EXPECT_EQ(verbs["DATA"], 0);
        EXPECT_TRUE(messages.empty());
        break;
      case Outcome::kAborted:
        EXPECT_EQ(verbs["DATA"], 1);
        EXPECT_TRUE(messages.empty());
        break;
    }
  }

  // "{file}" stands for the path of an attachable file, "{port}" for the
  // server's port.
  std::string Substitute(std::string value, const CAcceptingServer &server) const {
    for (std::size_t at; (at = value.find("{file}")) != std::string::npos;)
      value.replace(at, 6, m_file);
    for (std::size_t at; (at = value.find("{port}")) != std::string::npos;)
      value.replace(at, 6, std::to_string(server.Port()));
    return value;
  }

  CTempDir m_dir;
  std::string m_file;
};

const std::string kNul(1, '\0');
const std::string kHigh = "\xe9\xfc\x80\xff";
const std::string kLong(kMiB, 'x');
const char kBadArg[] = "Error(%s): \t80070057";

std::string BadArg(const char *param) {
  char text[96];
  std::snprintf(text, sizeof text, kBadArg, param);
  return text;
}

std::string Nul(const char *param) { return std::string(param) + " can not contain a NUL character."; }

// Where the system takes names as UTF-16 (Windows), a name beyond the
// thread code page is looked up as it is; where it takes bytes, refused.
bool NamesAreWide() {
  std::string name = "\xE4\xB8\xAD";
  TextSource source = TextSource::kUtf8;
  return ToSystemName(name, source) && source == TextSource::kUtf8;
}

std::string OutsideCodePage(const char *param, const char *wide) {
  if (NamesAreWide()) return wide;
  return std::string(param) + " can not contain a character outside the ANSI code page.";
}

TEST_F(HostileInput, Addresses) {
  const HostileCase cases[] = {
      // A line break anywhere in an entry refuses it, whatever its form.
      {"from CR LF", "@from", "f@x\r\nRCPT TO:<e@x>", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from CR LF bare", "@from", "f@x\r\nRCPT TO:e@x", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from CR", "@from", "f@x\rRSET", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from LF", "@from", "f@x\nRSET", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from NUL", "@from", "f@x" + kNul + "\r\nRSET", {}, Outcome::kNotContacted, Nul("@from")},
      {"from high bytes", "@from", kHigh + "@x", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from TAB", "@from", "f\t@x", {}, Outcome::kNotContacted, BadArg("@from")},
      {"from 1 MiB", "@from", kLong + "@x", {}, Outcome::kNoTransaction, "Sender address too long"},
      {"from dot", "@from", ".", {}, Outcome::kNotContacted, "Invalid address in @from: \".\""},
      {"to CR LF", "@recipients", "a@x\r\nRCPT TO:e@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to high bytes", "@recipients", kHigh + "@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to 1 MiB address", "@recipients", kLong + "@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to 1 MiB name", "@recipients", "<" + kLong + "> a@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      // Unsafe bytes: several encoded words, folded.
      {"to 1 MiB unsafe name", "@recipients", "<" + std::string(kMiB, '\x01') + "> a@x", {},
       Outcome::kSent, ""},
      {"to brackets hide text", "@recipients", "a@x\r\nRCPT TO:<e@x>", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to name CR LF", "@recipients", "<Ann\r\nBcc: e@x> a@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"cc quoted name LF", "@copy_recipients", "c@x, \"Ann\n Lee\" <d@x>", {},
       Outcome::kNotContacted, BadArg("@copy_recipients")},
      {"to Postmaster", "@recipients", "a@x;POSTMASTER", {}, Outcome::kSent, ""},
      {"to name NUL", "@recipients", "<Ann" + kNul + "x> a@x", {}, Outcome::kNotContacted,
       Nul("@recipients")},
      {"to name high", "@recipients", "<" + kHigh + "> a@x", {}, Outcome::kSent, ""},
      {"to list", "@recipients", "a@x;<Ann\r\n> b@x;" + kHigh + "@x;c@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to list long", "@recipients", "a@x;" + kLong + "@x;c@x", {}, Outcome::kNotContacted,
       BadArg("@recipients")},
      {"to empty entries", "@recipients", "a@x;;b@x;", {}, Outcome::kSent, ""},
      {"to no address", "@recipients", "a@x;Ann <>", {}, Outcome::kNotContacted,
       "Invalid address in @recipients: \"Ann <>\""},
      {"cc CR LF", "@copy_recipients", "c@x\r\nRCPT TO:e@x", {}, Outcome::kNotContacted,
       BadArg("@copy_recipients")},
      {"cc 1 MiB name", "@copy_recipients", "<" + kLong + "> c@x", {}, Outcome::kNotContacted,
       BadArg("@copy_recipients")},
      {"cc NUL", "@copy_recipients", "c@x" + kNul + "e@x", {}, Outcome::kNotContacted,
       Nul("@copy_recipients")},
      {"nvarchar bcc NUL", "@blind_copy_recipients", "", std::u16string(u"b@x\0e", 5),
       Outcome::kNotContacted, Nul("@blind_copy_recipients")},
      {"bcc LF", "@blind_copy_recipients", "b@x\nRCPT TO:e@x", {}, Outcome::kNotContacted,
       BadArg("@blind_copy_recipients")},
      {"bcc high", "@blind_copy_recipients", kHigh + "@x", {}, Outcome::kNotContacted,
       BadArg("@blind_copy_recipients")},
      {"bcc 1 MiB", "@blind_copy_recipients", kLong + "@x", {}, Outcome::kNoData,
       "Recipient address too long"},
      {"nvarchar from CR LF", "@from", "", u"f@x\r\nRSET", Outcome::kNotContacted, BadArg("@from")},
      {"nvarchar from NUL", "@from", "", std::u16string(u"f@x\0RSET", 8), Outcome::kNotContacted,
       Nul("@from")},
      // An address has no form for a character beyond ASCII.
      {"nvarchar to high", "@recipients", "", u"\u4e2d@x", Outcome::kNotContacted,
       BadArg("@recipients")},
      {"nvarchar names beyond 1252", "@recipients", "",
       u"<J\u00fcrgen \u65e5\u672c \U0001F600> j@x, \u0395\u03bb\u03ad\u03bd\u03b7 <e@x>",
       Outcome::kSent, "", "=?utf-8?"},
      {"nvarchar to name", "@recipients", "", u"<\u00c5sa\r\n> a@x", Outcome::kNotContacted,
       BadArg("@recipients")},
      {"nvarchar bcc CR", "@blind_copy_recipients", "", u"b@x\rRSET", Outcome::kNotContacted,
       BadArg("@blind_copy_recipients")},
  };
  for (const HostileCase &c : cases) Run(c);
}

TEST_F(HostileInput, SubjectAndBody) {
  const HostileCase cases[] = {
      {"subject CR LF", "@subject", "s\r\nBcc: e@x", {}, Outcome::kSent, ""},
      {"subject CR", "@subject", "s\rX: y", {}, Outcome::kSent, ""},
      {"subject NUL", "@subject", "s" + kNul + "\r\nX: y", {}, Outcome::kNotContacted, Nul("@subject")},
      {"subject high", "@subject", kHigh, {}, Outcome::kSent, ""},
      {"subject dot", "@subject", ".", {}, Outcome::kSent, "", "\r\nSubject: .\r\n"},
      {"subject 1 MiB", "@subject", kLong, {}, Outcome::kSent, ""},
      {"subject 1 MiB high", "@subject", std::string(kMiB, '\xe9'), {}, Outcome::kSent, ""},
      {"nvarchar subject", "@subject", "", u"s\r\n\u00e9\u4e2d", Outcome::kSent, ""},
      {"nvarchar subject lone surrogate", "@subject", "", u"s\xD83D!", Outcome::kNotContacted,
       "@subject can not contain invalid UTF-16."},
      {"message lone dot", "@message", std::string("a\r\n.\r\nMAIL FROM:<e@x>\r\n") + kBodyEnd, {},
       Outcome::kSent, "", "\r\n.\r\nMAIL FROM:<e@x>\r\nEND-OF-BODY"},
      {"message dot LF", "@message", std::string("a\n.\nRSET\n") + kBodyEnd, {}, Outcome::kSent, "",
       "RSET"},
      {"message dot CR", "@message", std::string("a\r.\rRSET\r") + kBodyEnd, {}, Outcome::kSent, "",
       "RSET"},
      {"message starts with dot", "@message", std::string(".\r\n") + kBodyEnd, {}, Outcome::kSent, "",
       kBodyEnd},
      // A NUL would end the text: nothing is sent.
      {"message NUL", "@message", "a" + kNul + "b " + kBodyEnd, {}, Outcome::kNotContacted,
       Nul("@message")},
      {"message high", "@message", kHigh + kBodyEnd, {}, Outcome::kSent, "", kBodyEnd},
      {"message 1 MiB line", "@message", kLong + kBodyEnd, {}, Outcome::kSent, "", kBodyEnd},
      {"message 1 MiB of dots", "@message", [] {
         std::string s;
         while (s.size() < kMiB) s += ".\r\n..\n";
         return s + kBodyEnd;
       }(), {}, Outcome::kSent, "", kBodyEnd},
      {"nvarchar message", "@message", "", std::u16string(u"a\n.\n\0\u00e9END-OF-BODY", 17),
       Outcome::kNotContacted, Nul("@message")},
      {"nvarchar message beyond 1252", "@message", "", u"\u65e5\u672c \u20ac \U0001F600 END-OF-BODY",
       Outcome::kSent, "", "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x82\xAC \xF0\x9F\x98\x80 END-OF-BODY"},
      {"message 1 MiB line high", "@message", std::string(kMiB, '\xe9') + kBodyEnd, {},
       Outcome::kSent, ""},
      {"type CR LF", "@type", "text/html\r\nX: y", {}, Outcome::kSent, ""},
      {"type 1 MiB", "@type", kLong, {}, Outcome::kSent, ""},
      {"type NUL", "@type", "text/html" + kNul + "x", {}, Outcome::kNotContacted, Nul("@type")},
  };
  for (const HostileCase &c : cases) Run(c);
}

TEST_F(HostileInput, ServerPortAndCredentials) {
  const HostileCase cases[] = {
      {"server 1 MiB", "@server", kLong, {}, Outcome::kNotContacted, "Cannot find server("},
      {"server CR LF", "@server", "127.0.0.1\r\nx", {}, Outcome::kNotContacted, "Cannot find server("},
      {"server NUL", "@server", "127.0.0.1" + kNul + "junk", {}, Outcome::kNotContacted,
       Nul("@server")},
      {"server high", "@server", kHigh, {}, Outcome::kNotContacted, "Cannot find server("},
      {"port CR LF", "@port", "{port}\r\nx", {}, Outcome::kSent, ""},
      {"port wraps", "@port", "65536{port}", {}, Outcome::kNotContacted, "Cannot find server("},
      // No digits: port 0, which takes no connection.
      {"port 1 MiB", "@port", kLong, {}, Outcome::kNotContacted,
       "Socket event error(|Socket error(|Cannot find server("},
      {"port digits 1 MiB", "@port", std::string(kMiB, '9'), {}, Outcome::kNotContacted,
       "Cannot find server("},
      {"user CR LF", "@user", "u\r\nRSET", {}, Outcome::kSent, ""},
      {"user NUL", "@user", "u" + kNul + "x", {}, Outcome::kNotContacted, Nul("@user")},
      {"pwd NUL", "@pwd", "p" + kNul + "x", {}, Outcome::kNotContacted, Nul("@pwd")},
      {"user high", "@user", kHigh, {}, Outcome::kSent, ""},
      {"user 1 MiB", "@user", kLong, {}, Outcome::kNoTransaction, "SMTP Server response code(334)"},
      {"pwd 1 MiB", "@pwd", kLong, {}, Outcome::kNoTransaction, "SMTP Server response code(334)"},
      {"pwd CR LF", "@pwd", "p\r\nRSET", {}, Outcome::kSent, ""},
      {"nvarchar pwd", "@pwd", "", u"p\r\n\u00e9", Outcome::kSent, ""},
      {"nvarchar pwd lone surrogate", "@pwd", "", u"p\xDC00", Outcome::kNotContacted,
       "@pwd can not contain invalid UTF-16."},
      {"nvarchar option lone surrogate", "@tls", "", u"\xD800", Outcome::kNotContacted,
       "@tls can not contain invalid UTF-16."},
      // Not in the code page the tests run in: no such name can be looked up.
      {"nvarchar server beyond", "@server", "", u"\u4e2d.example", Outcome::kNotContacted,
       OutsideCodePage("@server", "Cannot find server(")},
  };
  for (const HostileCase &c : cases) Run(c);
}

TEST_F(HostileInput, Attachments) {
  const HostileCase cases[] = {
      {"CR LF", "@attachments", "{file}\r\nX: y", {}, Outcome::kNotContacted, BadArg("@attachements")},
      {"NUL", "@attachments", "{file}" + kNul + "junk", {}, Outcome::kNotContacted,
       Nul("@attachments")},
      {"high", "@attachments", "{file}" + kHigh, {}, Outcome::kAborted, "Cannot open attachment file("},
      {"nvarchar beyond the code page", "@attachments", "", u"\u4e2d.txt",
       NamesAreWide() ? Outcome::kAborted : Outcome::kNotContacted,
       OutsideCodePage("@attachments", "Cannot open attachment file(")},
      {"1 MiB", "@attachments", kLong, {}, Outcome::kNotContacted, "Error(@attachements): \t80004005"},
      {"list", "@attachments", "{file};{file}\n;{file}", {}, Outcome::kNotContacted,
       BadArg("@attachements")},
      {"list with 1 MiB", "@attachments", "{file};" + kLong, {}, Outcome::kNotContacted,
       "Error(@attachements): \t80004005"},
      // A directory is never opened as a file.
      {"list of dots", "@attachments", "{file};.;{file}", {}, Outcome::kAborted,
       "Cannot open attachment file(.)("},
  };
  for (const HostileCase &c : cases) Run(c);
}

}  // namespace
