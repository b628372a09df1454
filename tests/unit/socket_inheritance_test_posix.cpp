// A process started while the library holds a connection (the SMTP one, the
// token fetch's) holds nothing of it: the library's sockets are close-on-exec.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "charset/threads.h"
#include "oauth/token_fetch.h"
#include "smtp/smtp_connection.h"
#include "tests/support/scripted_server.h"

namespace {

// The TCP sockets (IPv4) whose far end is port, as /proc/<pid>/fd names them.
std::set<std::string> SocketsTo(int port) {
  std::set<std::string> found;
  std::ifstream table("/proc/net/tcp");
  std::string line, slot, local, remote, inode;
  for (std::getline(table, line); std::getline(table, line);) {
    std::istringstream fields(line);
    fields >> slot >> local >> remote;
    for (int column = 3; column <= 9; ++column) fields >> inode;  // the inode is the tenth
    if (std::stoi(remote.substr(remote.find(':') + 1), nullptr, 16) == port)
      found.insert("socket:[" + inode + "]");
  }
  return found;
}

// Those of the sockets to port that a child started now holds.
std::set<std::string> HeldByAChild(int port) {
  std::set<std::string> open = SocketsTo(port), held;
  EXPECT_FALSE(open.empty());
  char program[] = "/bin/sleep", seconds[] = "10", *argv[] = {program, seconds, nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, program, nullptr, nullptr, argv, environ) != 0) return {"no child"};
  std::error_code gone;  // the child's own files come and go
  std::string fds = "/proc/" + std::to_string(child) + "/fd";
  for (const auto &fd : std::filesystem::directory_iterator(fds)) {
    std::string target = std::filesystem::read_symlink(fd.path(), gone).string();
    if (open.count(target) != 0) held.insert(target);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return held;
}

TEST(Inheritance, ChildStartedWhileAConnectionIsOpenHoldsNone) {
  CScriptedServer smtp, endpoint;
  smtp.Send("220 mx\r\n").Stall();
  endpoint.Stall();  // takes the token fetch's connection and says nothing
  ASSERT_TRUE(smtp.Start() && endpoint.Start());
  CSmtpConnection connection;
  ASSERT_TRUE(connection.Connect(smtp.Host(), smtp.Port(), 3000));
  EXPECT_EQ(HeldByAChild(smtp.Port()), std::set<std::string>()) << "SMTP connection";

  std::string url = "https://127.0.0.1:" + std::to_string(endpoint.Port()) + "/";
  CTokenEndpoint where{url, "id", "", true, 3000};
  CSecretString token;
  std::string text;
  CThread fetch;
  ASSERT_TRUE(fetch.Start([&] { FetchToken(where, "secret", token, text); }));
  for (int waited = 0; SocketsTo(endpoint.Port()).empty() && waited < 3000; waited += 10)
    SleepMilliseconds(10);
  EXPECT_EQ(HeldByAChild(endpoint.Port()), std::set<std::string>()) << "token fetch";
  endpoint.Stop();
  fetch.Join();
}

}  // namespace
