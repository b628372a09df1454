#include "mime/host_identity.h"

#include <windows.h>

namespace {

// A DNS name holds at most 255 bytes, and the NUL.
constexpr DWORD kHostNameSize = 256;

}  // namespace

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool LocalHostName(std::string &name) {
  char buffer[kHostNameSize] = {};
  DWORD size = kHostNameSize;
  if (!GetComputerNameExA(ComputerNameDnsFullyQualified, buffer, &size)) return false;
  name.assign(buffer, size);
  return !name.empty();
}
