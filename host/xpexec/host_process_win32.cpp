// Windows: the UTF-16 command line, and the C runtime's streams switched
// out of text mode.
#include "host/xpexec/host_process.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "host/xpexec/wide_text.h"

namespace xpexec {

std::vector<std::string> ArgumentsUtf8(int argc, char **argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {  // fall back on the ANSI arguments
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

std::FILE *OpenForReading(const std::string &utf8_path) {
  return _wfopen(Utf8ToWide(utf8_path).c_str(), L"rb");
}

}  // namespace xpexec
