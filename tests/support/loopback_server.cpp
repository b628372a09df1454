#include "tests/support/loopback_server.h"

#include <utility>

bool CLoopbackServer::StartServing(int backlog, int receiveBuffer,
                                   std::function<void()> serve) {
  m_listener = TestListen(m_family, backlog, &m_port, receiveBuffer);
  if (m_listener == kNoTestSocket) return false;
  if (m_thread.Start(std::move(serve))) return true;
  TestClose(m_listener);
  m_listener = kNoTestSocket;
  return false;
}

void CLoopbackServer::StopServing() {
  m_stop = true;
  m_thread.Join();
  TestClose(m_listener);
  m_listener = kNoTestSocket;
}

std::string CLoopbackServer::Received() const {
  CLockHold hold(m_lock);
  return m_received;
}

std::vector<std::string> CLoopbackServer::Problems() const {
  CLockHold hold(m_lock);
  return m_problems;
}

void CLoopbackServer::Problem(const std::string &text) {
  CLockHold hold(m_lock);
  m_problems.push_back(text);
}

long CLoopbackServer::ReceiveRecorded(TestSocket client, std::string *pending, std::size_t most,
                                      int timeoutMs) {
  m_buffer.resize(most < kReceiveSize ? most : kReceiveSize);
  long n = TestReceive(client, m_buffer.data(), m_buffer.size(), timeoutMs);
  if (n <= 0) return n;
  pending->append(m_buffer.data(), static_cast<std::size_t>(n));
  CLockHold hold(m_lock);
  m_received.append(m_buffer.data(), static_cast<std::size_t>(n));
  return n;
}
