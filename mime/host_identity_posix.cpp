#include "mime/host_identity.h"

#include <climits>
#include <unistd.h>

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

bool LocalHostName(std::string &name) {
  // HOST_NAME_MAX bytes and a NUL; a name cut to that size has no NUL.
  char buffer[HOST_NAME_MAX + 1] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
  name = buffer;
  return !name.empty();
}
