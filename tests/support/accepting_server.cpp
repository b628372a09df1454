#include "tests/support/accepting_server.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Clients come one after the other; a few may wait.
constexpr int kBacklog = 8;
constexpr char kCrLf[] = "\r\n";
constexpr char kEndOfData[] = "\r\n.\r\n";
constexpr char kFinalDot[] = ".\r\n";
// The message may be as long as the tests make it.
constexpr std::size_t kLongestMessage = 64u * 1024 * 1024;

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

bool Reply(TestSocket client, const char *text) {
  return TestSendAll(client, text, std::char_traits<char>::length(text));
}

}  // namespace

CAcceptingServer::~CAcceptingServer() { Stop(); }

bool CAcceptingServer::Start() { return StartServing(kBacklog, 0, [this] { Run(); }); }

void CAcceptingServer::Stop() { StopServing(); }

int CAcceptingServer::Connections() const {
  CLockHold hold(m_lock);
  return m_connections;
}
std::vector<std::string> CAcceptingServer::Commands() const {
  CLockHold hold(m_lock);
  return m_commands;
}
std::vector<std::string> CAcceptingServer::Messages() const {
  CLockHold hold(m_lock);
  return m_messages;
}
int CAcceptingServer::Unknown() const {
  CLockHold hold(m_lock);
  return m_unknown;
}

void CAcceptingServer::Run() {
  while (!Stopping()) {
    TestSocket client = AcceptWithin(kSliceMs);
    if (client == kNoTestSocket) continue;
    {
      CLockHold hold(m_lock);
      ++m_connections;
    }
    Serve(client);
    TestClose(client);
  }
}

bool CAcceptingServer::TakeUntil(TestSocket client, const char *terminator, std::size_t limit,
                                 std::string *taken) {
  const std::string end(terminator);
  std::size_t searched = 0;
  for (;;) {
    std::size_t at = m_pending.find(end, searched);
    if (at != std::string::npos) {
      *taken = m_pending.substr(0, at + end.size());
      m_pending.erase(0, at + end.size());
      return true;
    }
    // Only the tail can still start a terminator.
    searched = m_pending.size() >= end.size() ? m_pending.size() - end.size() + 1 : 0;
    if (m_pending.size() > limit) {
      Problem("no " + std::string(end == kCrLf ? "line end" : "end of data") + " within " +
              std::to_string(limit) + " bytes");
      return false;
    }
    if (Stopping() || NowMs() >= m_deadline) return false;
    long n = ReceiveRecorded(client, &m_pending, kReceiveSize, kSliceMs);
    if (n == kTestTimedOut) continue;
    if (n <= 0) return false;
  }
}

void CAcceptingServer::Serve(TestSocket client) {
  m_pending.clear();
  m_deadline = NowMs() + kConnectionLimitMs;
  if (!Reply(client, "220 accepting\r\n")) return;
  bool credentialsNext = false;
  std::string line;
  while (TakeUntil(client, kCrLf, kLongestLine, &line)) {
    {
      CLockHold hold(m_lock);
      m_commands.push_back(line);
    }
    if (credentialsNext) {
      credentialsNext = false;
      if (!Reply(client, "235 accepted\r\n")) return;
      continue;
    }
    const std::string verb = CommandVerb(line);
    const char *reply = "500 unknown\r\n";
    if (verb == "EHLO") {
      reply = "250-accepting\r\n250 AUTH PLAIN\r\n";
    } else if (verb == "HELO" || verb == "MAIL" || verb == "RCPT" || verb == "RSET") {
      reply = "250 ok\r\n";
    } else if (line == "AUTH PLAIN\r\n") {
      reply = "334 \r\n";
      credentialsNext = true;
    } else if (verb == "QUIT") {
      Reply(client, "221 bye\r\n");
      return;
    } else if (verb == "DATA") {
      if (!Reply(client, "354 go\r\n")) return;
      // The message starts right after DATA; "." CR LF alone would be an
      // empty message, which the client never sends.
      m_pending.insert(0, kCrLf);
      std::string message;
      if (!TakeUntil(client, kEndOfData, kLongestMessage, &message)) {
        Problem("data not ended");
        return;
      }
      {
        CLockHold hold(m_lock);
        // The CR LF in front of the dot ends the message's last line.
        m_messages.push_back(message.substr(2, message.size() - 2 - (sizeof kFinalDot - 1)));
      }
      reply = "250 queued\r\n";
    } else {
      CLockHold hold(m_lock);
      ++m_unknown;
    }
    if (!Reply(client, reply)) return;
  }
}

std::string CommandVerb(const std::string &line) {
  std::string verb;
  for (char c : line) {
    if (c == ' ' || c == ':' || c == '\r' || c == '\n') break;
    verb.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return verb;
}

std::string Unstuffed(const std::string &message) {
  std::string out;
  bool lineStart = true;
  for (std::size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (lineStart && c == '.') {
      lineStart = false;
      continue;
    }
    out.push_back(c);
    lineStart = c == '\n' && i > 0 && message[i - 1] == '\r';
  }
  return out;
}
