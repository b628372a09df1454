// The platform's socket calls under the tests' portable socket
// (test_socket.cpp): one function a call, the platform's handle passed as a
// TestSocket and addresses as the resolver gives them. Only these differ
// between POSIX and WinSock: poll or select, fcntl or ioctlsocket, close or
// closesocket, errno or WSAGetLastError, and the flags that keep a socket
// from being inherited and a send from raising SIGPIPE. Nothing here waits
// but RawWait; nothing throws.
#ifndef MAILVANE_TESTS_SUPPORT_TEST_SOCKET_CALLS_H
#define MAILVANE_TESTS_SUPPORT_TEST_SOCKET_CALLS_H

#include <cstddef>

#include "smtp/address_list.h"
#include "tests/support/test_socket.h"

// A stream socket of family (the resolver's number), on POSIX closed on
// exec; kNoTestSocket when none can be made.
TestSocket RawStreamSocket(int family);
void RawClose(TestSocket s);

// SO_REUSEADDR on, and SO_RCVBUF of bytes when bytes > 0.
void RawListenOptions(TestSocket s, int receiveBuffer);
// SO_LINGER on with a time of 0: the close that follows resets.
void RawLingerNone(TestSocket s);

bool RawBind(TestSocket s, const CAddressEntry &address);
bool RawListen(TestSocket s, int backlog);
// TCP_NODELAY on the accepted socket: a reply a script sends in pieces
// leaves in those pieces, none held back for the ACK of the one before.
TestSocket RawAccept(TestSocket listener);
// Makes s non-blocking and starts a connect to address: true when it
// completed or is under way.
bool RawStartConnect(TestSocket s, const CAddressEntry &address);
// The address s is bound to.
bool RawLocalAddress(TestSocket s, CAddressEntry *address);

enum class TestReadiness { kReadable, kWritable };
// More than 0 when s is ready, 0 when timeoutMs ran out, less on failure.
int RawWait(TestSocket s, TestReadiness readiness, int timeoutMs);

// One receive or one send: the byte count, 0 when the peer closed (a
// receive), less than 0 on failure.
long RawReceive(TestSocket s, char *buffer, std::size_t size);
long RawSend(TestSocket s, const char *data, std::size_t length);

#endif
