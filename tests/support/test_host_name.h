// The name the client greets with in HELO and EHLO on this machine, so that
// transcripts expect the right bytes wherever the tests run: the same
// choice as the connection's (smtp/greeting_name.h), from the real host
// name and the address a connection to the loopback of family comes from.
#ifndef MAILVANE_TESTS_SUPPORT_TEST_HOST_NAME_H
#define MAILVANE_TESTS_SUPPORT_TEST_HOST_NAME_H

#include <string>

#include "tests/support/test_socket.h"

std::string TestHostName(TestFamily family = TestFamily::kIpv4);

// The HELO and EHLO lines of a connection over IPv4, CR LF included.
inline std::string Helo() { return "HELO " + TestHostName() + "\r\n"; }
inline std::string Ehlo() { return "EHLO " + TestHostName() + "\r\n"; }

#endif
