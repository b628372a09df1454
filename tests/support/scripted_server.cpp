#include "tests/support/scripted_server.h"

#include <algorithm>
#include <chrono>

#include "charset/threads.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kCrLf[] = "\r\n";
constexpr char kEndOfData[] = "\r\n.\r\n";
// One client at a time; a few more may wait.
constexpr int kBacklog = 4;
// Filling a backlog: how many connects to try, and how long one may take
// before it counts as silent.
constexpr int kMostFillers = 16;
constexpr int kSettleMs = 200;
// Between the pieces of a cut Send: long enough for them to arrive apart.
constexpr int kCutPauseMs = 2;

}  // namespace

CScriptedServer::CScriptedServer(TestFamily family, int port) : CLoopbackServer(family, port) {}

CScriptedServer::~CScriptedServer() { Stop(); }

CScriptedServer &CScriptedServer::Expect(const std::string &line) {
  m_script.push_back({Step::kExpect, line});
  return *this;
}
CScriptedServer &CScriptedServer::ExpectAnyLine() {
  m_script.push_back({Step::kAnyLine, {}});
  return *this;
}
CScriptedServer &CScriptedServer::ExpectData() {
  m_script.push_back({Step::kData, {}});
  return *this;
}
CScriptedServer &CScriptedServer::Send(const std::string &bytes) {
  if (m_cut == 0 || bytes.size() < 2) {
    m_script.push_back({Step::kSend, bytes});
    return *this;
  }
  const std::size_t at = std::min(m_cut, bytes.size() - 1);
  m_script.push_back({Step::kSend, bytes.substr(0, at)});
  Delay(kCutPauseMs);
  m_script.push_back({Step::kSend, bytes.substr(at)});
  return *this;
}
CScriptedServer &CScriptedServer::Delay(int ms) {
  Step step{Step::kDelay, {}};
  step.ms = ms;
  m_script.push_back(step);
  return *this;
}
CScriptedServer &CScriptedServer::CutSends(std::size_t at) {
  m_cut = at;
  return *this;
}
CScriptedServer &CScriptedServer::Close() {
  m_script.push_back({Step::kClose, {}});
  return *this;
}
CScriptedServer &CScriptedServer::Reset() {
  m_script.push_back({Step::kReset, {}});
  return *this;
}
CScriptedServer &CScriptedServer::Stall() {
  m_script.push_back({Step::kStall, {}});
  return *this;
}
CScriptedServer &CScriptedServer::ReadSlowly(std::size_t bytes, std::size_t piece, int pauseMs) {
  Step step{Step::kSlow, {}};
  step.count = bytes;
  step.piece = piece;
  step.ms = pauseMs;
  m_script.push_back(step);
  return *this;
}
CScriptedServer &CScriptedServer::ReceiveBuffer(int bytes) {
  m_receiveBuffer = bytes;
  return *this;
}

CScriptedServer &CScriptedServer::WatchForClose() {
  m_watchClose = true;
  return *this;
}

bool CScriptedServer::Start() {
  return StartServing(kBacklog, m_receiveBuffer, [this] { Run(); });
}

void CScriptedServer::Stop() {
  StopServing();
  if (m_watchClose && m_client != kNoTestSocket) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!m_closed && Clock::now() < deadline) ReceiveSome(kSliceMs, kReceiveSize);
  }
  TestClose(m_client);
  m_client = kNoTestSocket;
}

bool CScriptedServer::AwaitEnd() {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
  while (!m_ended && Clock::now() < deadline)
    SleepMilliseconds(5);
  return m_ended;
}

bool CScriptedServer::AwaitReset() {
  if (!AwaitEnd()) return false;
  SleepMilliseconds(kResetSettleMs);
  return true;
}

bool CScriptedServer::ReceiveSome(int timeoutMs, std::size_t most) {
  if (m_closed) return false;
  long n = ReceiveRecorded(m_client, &m_pending, most, timeoutMs);
  if (n == kTestTimedOut) return false;
  if (n <= 0) {
    m_closed = true;
    m_peerClosed = true;
    return false;
  }
  return true;
}

bool CScriptedServer::TakeUntil(const std::string &terminator, std::string *taken) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
  for (;;) {
    std::size_t at = m_pending.find(terminator);
    if (at != std::string::npos) {
      *taken = m_pending.substr(0, at + terminator.size());
      m_pending.erase(0, at + terminator.size());
      return true;
    }
    if (m_closed || Clock::now() >= deadline) return false;
    // After Stop only what is already buffered still counts.
    if (!ReceiveSome(kSliceMs, kReceiveSize) && Stopping()) return false;
  }
}

bool CScriptedServer::Play(const Step &step) {
  std::string taken;
  switch (step.kind) {
    case Step::kExpect:
      if (!TakeUntil(kCrLf, &taken)) {
        Problem("no line where expected: " + step.bytes);
        return false;
      }
      if (taken != step.bytes) Problem("expected " + step.bytes + " got " + taken);
      return true;
    case Step::kAnyLine:
      if (!TakeUntil(kCrLf, &taken)) {
        Problem("no line where one was expected");
        return false;
      }
      return true;
    case Step::kData:
      if (!TakeUntil(kEndOfData, &taken)) {
        Problem("no end of data");
        return false;
      }
      return true;
    case Step::kSend:
      if (!TestSendAll(m_client, step.bytes.data(), step.bytes.size())) {
        Problem("cannot send " + step.bytes);
        return false;
      }
      return true;
    case Step::kDelay: {
      Clock::time_point until = Clock::now() + std::chrono::milliseconds(step.ms);
      while (Clock::now() < until && !Stopping())
        SleepMilliseconds(5);
      return true;
    }
    case Step::kClose:
      TestClose(m_client);
      m_client = kNoTestSocket;
      m_closed = true;
      return false;
    case Step::kReset:
      TestReset(m_client);
      m_client = kNoTestSocket;
      m_closed = true;
      return false;
    case Step::kStall:
      while (!Stopping()) SleepMilliseconds(kSliceMs);
      return false;
    case Step::kSlow: {
      Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
      std::size_t got = m_pending.size();
      while (got < step.count && Clock::now() < deadline && !m_closed) {
        std::size_t before = m_pending.size();
        ReceiveSome(kSliceMs, step.piece);
        got += m_pending.size() - before;
        SleepMilliseconds(step.ms);
      }
      if (got < step.count) Problem("slow read ended early");
      m_pending.clear();
      return true;
    }
  }
  return false;
}

void CScriptedServer::Run() {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
  while (m_client == kNoTestSocket && !Stopping() && Clock::now() < deadline)
    m_client = AcceptWithin(kSliceMs);
  if (m_client == kNoTestSocket) {
    Problem("no client connected");
    return;
  }
  bool going = true;
  for (const Step &step : m_script) {
    if (!going) break;
    going = Play(step);
  }
  m_ended = true;
  if (m_client == kNoTestSocket) return;
  // After the script: record whatever else comes until the client closes.
  deadline = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
  while (!m_closed && Clock::now() < deadline)
    if (!ReceiveSome(kSliceMs, kReceiveSize) && Stopping()) break;
}

CSilentListener::CSilentListener(TestFamily family, int port) : m_port(port) {
  m_listener = TestListen(family, 0, &m_port);
  if (m_listener == kNoTestSocket) return;
  for (int i = 0; i < kMostFillers; ++i) {
    TestSocket filler = TestStartConnect(family, m_port);
    if (filler == kNoTestSocket) return;
    m_fillers.push_back(filler);
    if (!TestConnectSettled(filler, kSettleMs)) {
      m_silent = true;
      return;
    }
  }
}

CSilentListener::~CSilentListener() {
  for (TestSocket s : m_fillers) TestClose(s);
  TestClose(m_listener);
}
