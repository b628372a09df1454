// CLoopbackServer: what the tests' own servers (scripted_server.h,
// accepting_server.h) share: a socket listening on the loopback of one
// family, the thread that serves it, and the record of every byte received
// and of every problem seen, in order.
//
// StartServing listens and runs serve on the thread; StopServing asks it to
// end (Stopping turns true), joins it and closes the listener. A server
// stops in its own destructor, before the members its thread uses go; the
// destructor here only stops what is still running. Received and Problems
// may be read from any thread; the rest belongs to the serving thread
// while it runs.
#ifndef MAILVANE_TESTS_SUPPORT_LOOPBACK_SERVER_H
#define MAILVANE_TESTS_SUPPORT_LOOPBACK_SERVER_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "charset/threads.h"
#include "tests/support/test_socket.h"

class CLoopbackServer {
 public:
  // Waits are sliced so that StopServing is seen soon.
  static constexpr int kSliceMs = 20;
  // The most one receive takes.
  static constexpr std::size_t kReceiveSize = 64 * 1024;

  CLoopbackServer(const CLoopbackServer &) = delete;
  CLoopbackServer &operator=(const CLoopbackServer &) = delete;

  int Port() const { return m_port; }
  const char *Host() const { return LoopbackText(m_family); }
  std::string Received() const;
  std::vector<std::string> Problems() const;

 protected:
  // port 0: any free port, known once StartServing succeeded.
  explicit CLoopbackServer(TestFamily family = TestFamily::kIpv4, int port = 0)
      : m_family(family), m_port(port) {}
  ~CLoopbackServer() { StopServing(); }

  // Listens with backlog (receiveBuffer as TestListen takes it) and runs
  // serve on the thread; false when the socket cannot listen.
  bool StartServing(int backlog, int receiveBuffer, std::function<void()> serve);
  void StopServing();
  bool Stopping() const { return m_stop; }

  // One connection, if one comes within timeoutMs.
  TestSocket AcceptWithin(int timeoutMs) const { return TestAccept(m_listener, timeoutMs); }
  // One receive of at most most bytes within timeoutMs, appended to
  // *pending and to the record: TestReceive's result.
  long ReceiveRecorded(TestSocket client, std::string *pending, std::size_t most, int timeoutMs);
  void Problem(const std::string &text);

 private:
  TestFamily m_family;
  int m_port;
  TestSocket m_listener = kNoTestSocket;
  CThread m_thread;
  std::atomic<bool> m_stop{false};
  std::string m_buffer;  // the serving thread's receive buffer
  mutable CLock m_lock;
  std::string m_received;
  std::vector<std::string> m_problems;
};

#endif
