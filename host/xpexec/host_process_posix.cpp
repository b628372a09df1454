// POSIX: argv is already what xpexec wants, and streams are bytes.
#include "host/xpexec/host_process.h"

namespace xpexec {

std::vector<std::string> ArgumentsUtf8(int argc, char **argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

void UseBinaryStandardStreams() {}

std::FILE *OpenForReading(const std::string &utf8_path) {
  return std::fopen(utf8_path.c_str(), "rb");
}

}  // namespace xpexec
