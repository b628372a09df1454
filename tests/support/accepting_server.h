// CAcceptingServer: a permissive SMTP server on the loopback address of the
// test process, for tests that care about what reaches the wire rather
// than about the order of the dialogue.
//
// It takes connections one after the other on its own thread and answers
// every command a client of the procedure sends: 220 greeting, 250 to
// HELO, EHLO (advertising AUTH PLAIN), MAIL, RCPT and RSET, 334 then 235
// to AUTH PLAIN and its credential line, 354 to DATA, then reads the
// message up to CR LF "." CR LF and answers 250; anything else gets 500
// and is counted as unknown. Every byte received is recorded, and so are
// the command lines and the messages (without their end of data), as they
// came (the listening, the thread and the record are loopback_server.h's).
// A line without CR LF longer than kLongestLine, a connection older than
// kConnectionLimitMs or Stop end the connection. Stop joins the thread; the
// destructor stops too.
#ifndef MAILVANE_TESTS_SUPPORT_ACCEPTING_SERVER_H
#define MAILVANE_TESTS_SUPPORT_ACCEPTING_SERVER_H

#include <cstddef>
#include <string>
#include <vector>

#include "charset/threads.h"
#include "tests/support/loopback_server.h"

class CAcceptingServer : public CLoopbackServer {
 public:
  // A command line longer than this is not one the client should send.
  static constexpr std::size_t kLongestLine = 64 * 1024;
  // The longest any one connection may last.
  static constexpr int kConnectionLimitMs = 20000;

  CAcceptingServer() = default;
  ~CAcceptingServer();
  CAcceptingServer(const CAcceptingServer &) = delete;
  CAcceptingServer &operator=(const CAcceptingServer &) = delete;

  bool Start();
  void Stop();

  int Connections() const;
  // Command lines with their CR LF (the credential line included).
  std::vector<std::string> Commands() const;
  // Messages as sent during DATA, dot-stuffed, up to the CR LF in front of
  // the final "." CR LF.
  std::vector<std::string> Messages() const;
  // Command lines that got 500.
  int Unknown() const;
  // Problems: a line too long, or data never ended.

 private:
  void Run();
  void Serve(TestSocket client);
  // Reads until pending holds terminator; false on close, time-out, stop
  // or a line longer than limit.
  bool TakeUntil(TestSocket client, const char *terminator, std::size_t limit, std::string *taken);

  std::string m_pending;
  long long m_deadline = 0;  // steady-clock ms of the current connection's end
  mutable CLock m_lock;
  int m_connections = 0;
  int m_unknown = 0;
  std::vector<std::string> m_commands;
  std::vector<std::string> m_messages;
};

// Helpers on what a server recorded.

// Upper-case copy of a command's verb part (the text before ":" or " ").
std::string CommandVerb(const std::string &line);

// A message without its dot-stuffing: each line that starts with "." loses
// that first dot.
std::string Unstuffed(const std::string &message);

#endif
