// The few socket calls the tests' own servers need, over loopback only:
// listen, accept, receive and send with a bound, start a connect without
// waiting. Each wait takes a limit in milliseconds. Returns plain values,
// never throws.
#ifndef MAILVANE_TESTS_SUPPORT_TEST_SOCKET_H
#define MAILVANE_TESTS_SUPPORT_TEST_SOCKET_H

#include <cstddef>
#include <cstdint>
#include <set>

using TestSocket = std::intptr_t;
inline constexpr TestSocket kNoTestSocket = -1;

enum class TestFamily { kIpv4, kIpv6 };

// The loopback address of family as text: "127.0.0.1" or "::1".
const char *LoopbackText(TestFamily family);

// Starts the socket library for the test process (WinSock); idempotent.
bool TestSocketsStart();

// How many starts of the socket library the process holds now: WinSock
// counts each WSAStartup until its WSACleanup, and shows the count to no
// one, so it is read by taking every start back and giving each again.
// Call it only while no socket is open. POSIX has nothing to start: 0.
int TestSocketStarts();

// Loads, for the life of the process, the system libraries that the
// procedure library needs besides the socket library, so that whatever
// they do when loaded is done before a count is first read (Wine's
// secur32 starts WinSock as it loads). Nothing on POSIX.
void TestLoadSystemLibraries();

// A listening socket on the loopback of family. *port: in, the port to bind
// (0 for any); out, the port bound. receiveBuffer > 0 sets SO_RCVBUF first,
// which accepted sockets inherit.
TestSocket TestListen(TestFamily family, int backlog, int *port, int receiveBuffer = 0);

// Accepts one connection within timeoutMs; kNoTestSocket otherwise.
TestSocket TestAccept(TestSocket listener, int timeoutMs);

// Results of TestReceive besides a byte count.
inline constexpr long kTestClosed = 0;
inline constexpr long kTestFailed = -1;
inline constexpr long kTestTimedOut = -2;

// One receive of at most size bytes within timeoutMs.
long TestReceive(TestSocket s, char *buffer, std::size_t size, int timeoutMs);

bool TestSendAll(TestSocket s, const char *data, std::size_t length);

void TestClose(TestSocket s);

// Closes s with an immediate reset (SO_LINGER on, time 0): the peer gets an
// RST instead of the orderly end of the stream.
void TestReset(TestSocket s);

// Starts a connect to the loopback of family without waiting for it.
TestSocket TestStartConnect(TestFamily family, int port);
// The connect started completed within timeoutMs (successfully or not).
bool TestConnectSettled(TestSocket s, int timeoutMs);

// A port of family's loopback on which nothing listens (bound, then freed).
int TestUnusedPort(TestFamily family);

// The machine has this loopback address (a socket can be bound to it).
bool TestHasLoopback(TestFamily family);

// The platform's error codes for the socket failures the tests provoke:
// a socket of a family it does not know, a connect given an address too
// short for its family (WinSock names WSAEFAULT, Wine gives
// WSAEADDRNOTAVAIL), and a receive or write on a connection the peer has
// reset (POSIX gives ECONNRESET once, EPIPE for later writes).
int TestErrorUnknownFamily();
std::set<int> TestErrorsOfShortAddress();
std::set<int> TestErrorsOfReset();

#endif
