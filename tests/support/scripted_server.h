// CScriptedServer: the server side of an SMTP dialogue for tests, on the
// loopback address of the test process.
//
// The test writes a script (expect a line, send bytes, pause, close, reset,
// stall, read the message, read slowly), starts the server, runs the client and
// stops the server. The server accepts one connection and plays the script
// on its own thread; after the script it keeps reading until the client
// closes. Every byte the client sent is recorded in order (the listening,
// the thread and the record are loopback_server.h's). Every wait is
// bounded (kStepLimitMs per step); Stop joins the thread, reads what is
// still buffered and closes everything, and the destructor stops too.
// What the client did differently from the script is listed in Problems.
#ifndef MAILVANE_TESTS_SUPPORT_SCRIPTED_SERVER_H
#define MAILVANE_TESTS_SUPPORT_SCRIPTED_SERVER_H

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

class CScriptedServer : public CLoopbackServer {
 public:
  // The longest any one step waits for the client.
  static constexpr int kStepLimitMs = 4000;
  // How long Stop waits for the client's close when watching for it.
  static constexpr int kCloseWaitMs = 2000;
  static constexpr int kResetSettleMs = 100;

  explicit CScriptedServer(TestFamily family = TestFamily::kIpv4, int port = 0);
  ~CScriptedServer();
  CScriptedServer(const CScriptedServer &) = delete;
  CScriptedServer &operator=(const CScriptedServer &) = delete;

  // One line from the client, its CR LF included, compared byte for byte.
  CScriptedServer &Expect(const std::string &line);
  // One line from the client, whatever it holds.
  CScriptedServer &ExpectAnyLine();
  // The message: everything up to and including CR LF "." CR LF.
  CScriptedServer &ExpectData();
  CScriptedServer &Send(const std::string &bytes);
  CScriptedServer &Delay(int ms);
  // Closes the connection; the script ends.
  CScriptedServer &Close();
  // Resets the connection (the client gets an RST); the script ends.
  CScriptedServer &Reset();
  // Holds the connection and reads nothing until Stop; the script ends.
  CScriptedServer &Stall();
  // Reads bytes in pieces of at most piece bytes with a pause after each.
  CScriptedServer &ReadSlowly(std::size_t bytes, std::size_t piece, int pauseMs);
  // Makes each later Send two, the first of at bytes (all but one at
  // most), with a pause between them.
  CScriptedServer &CutSends(std::size_t at);
  // SO_RCVBUF of the accepted socket; call before Start.
  CScriptedServer &ReceiveBuffer(int bytes);
  // Makes Stop wait (at most kCloseWaitMs) for the client to close a
  // connection the server still holds, reading and recording what comes,
  // so that ClientClosed tells whether it did.
  CScriptedServer &WatchForClose();

  bool Start();
  void Stop();
  // Waits at most kStepLimitMs for the script to end; true when it has.
  bool AwaitEnd();
  // AwaitEnd, then the time a reset sent on loopback may take to reach the
  // client after the server's close returned (kResetSettleMs: far more than
  // it ever does), for a script that ends with Reset.
  bool AwaitReset();

  // The client closed (or reset) the connection while the server held it.
  bool ClientClosed() const { return m_peerClosed; }

 private:
  struct Step {
    enum Kind { kExpect, kAnyLine, kData, kSend, kDelay, kClose, kReset, kStall, kSlow } kind;
    std::string bytes;
    std::size_t count = 0;
    std::size_t piece = 0;
    int ms = 0;
  };

  void Run();
  bool Play(const Step &step);
  // Reads until pending holds terminator; the bytes up to and including it
  // go to *taken. False on time-out, close or stop.
  bool TakeUntil(const std::string &terminator, std::string *taken);
  // One bounded receive into pending; false when nothing came.
  bool ReceiveSome(int timeoutMs, std::size_t most);

  int m_receiveBuffer = 0;
  std::size_t m_cut = 0;
  std::vector<Step> m_script;
  TestSocket m_client = kNoTestSocket;
  std::atomic<bool> m_closed{false};
  std::atomic<bool> m_ended{false};  // the script has been played
  std::atomic<bool> m_peerClosed{false};
  bool m_watchClose = false;
  std::string m_pending;  // received, not yet taken by a step
};

// An address that takes no connection: a listener whose backlog is full.
// With a backlog of 0 the loopback queue holds one completed connection;
// the connects made here fill it, so the next SYN is dropped and a client
// connect stays pending until its own limit. Available() is false where
// the platform refuses such connects instead.
class CSilentListener {
 public:
  explicit CSilentListener(TestFamily family = TestFamily::kIpv4, int port = 0);
  ~CSilentListener();
  bool Available() const { return m_silent; }
  int Port() const { return m_port; }

 private:
  TestSocket m_listener = kNoTestSocket;
  std::vector<TestSocket> m_fillers;
  int m_port = 0;
  bool m_silent = false;
};

#endif
