// Who is writing a message: the process and the host, for Message-IDs.
//
// CurrentProcessId is GetCurrentProcessId or getpid. LocalHostName is the
// host's DNS name as the system knows it (GetComputerNameExA with
// ComputerNameDnsFullyQualified, gethostname); false when it has none.
// Neither needs the network or WinSock.
#ifndef MAILVANE_MIME_HOST_IDENTITY_H
#define MAILVANE_MIME_HOST_IDENTITY_H

#include <cstdint>
#include <string>

std::uint32_t CurrentProcessId();
bool LocalHostName(std::string &name);

#endif
