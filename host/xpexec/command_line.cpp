#include "host/xpexec/command_line.h"

#include <cstdint>

namespace xpexec {

const char kUsage[] =
    "usage: xpexec [--dll PATH] [--tokens] [--threads N] [--repeat M] "
    "[--cancel-after MS] [--login NAME] [-Q STATEMENTS | -i FILE]\n"
    "       xpexec [--dll PATH] --version\n";

const char kHelp[] =
    "  --cancel-after MS  raise the attention of each call (as a client's Cancel\n"
    "                     or KILL does) MS milliseconds after it started, and\n"
    "                     report how long the procedure took to return after\n"
    "                     it: a line on standard error, or with --tokens\n"
    "                     {\"token\":\"attention\",\"after_ms\":A,\"returned_ms\":R}\n"
    "                     before the call's return (A: ms from the call's start\n"
    "                     to the attention; R: ms from the attention to the\n"
    "                     return). A call that returns first gets none.\n";

namespace {

// Enough threads to load the procedure far beyond what one SQL Server
// scheduler gives it, few enough that a typo cannot exhaust the machine.
constexpr int kMaxThreads = 256;
// A bound on the calls of one thread, so a typo cannot run for days.
constexpr int kMaxRepeat = 1000000;
// An hour: longer than any wait of a call.
constexpr int kMaxCancelAfterMs = 3600 * 1000;

bool ParseCount(const std::string &text, int minimum, int maximum, int *out) {
  if (text.empty() || text.size() > 7) return false;  // 7 digits hold every allowed count
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < minimum || value > maximum) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string> &arguments, CommandLine *out,
                      std::string *error) {
  CommandLine result;
  bool seen_dll = false, seen_threads = false, seen_repeat = false, seen_source = false,
       seen_cancel = false,
       seen_login = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &option = arguments[i];
    if (option == "--tokens") {
      result.tokens = true;
      continue;
    }
    if (option == "--help" || option == "-h" || option == "-?") {
      result.help = true;
      continue;
    }
    if (option == "--version") {
      result.version = true;
      continue;
    }
    bool takes_value = option == "--dll" || option == "--threads" || option == "--repeat" ||
                       option == "--cancel-after" || option == "--login" || option == "-Q" || option == "-i";
    if (!takes_value) {
      *error = "unknown option '" + option + "'";
      return false;
    }
    if (i + 1 >= arguments.size()) {
      *error = "option " + option + " needs a value";
      return false;
    }
    const std::string &value = arguments[++i];
    bool *seen = option == "--dll"       ? &seen_dll
                 : option == "--threads" ? &seen_threads
                 : option == "--repeat"  ? &seen_repeat
                 : option == "--cancel-after" ? &seen_cancel
                 : option == "--login"   ? &seen_login
                                         : &seen_source;
    if (*seen) {
      *error = option == "-Q" || option == "-i" ? std::string("give -Q or -i once")
                                                : "option " + option + " given twice";
      return false;
    }
    *seen = true;
    if (option == "--dll") {
      if (value.empty()) {
        *error = "--dll needs a path";
        return false;
      }
      result.library_path = value;
    } else if (option == "--threads") {
      if (!ParseCount(value, 1, kMaxThreads, &result.threads)) {
        *error = "--threads takes a count from 1 to " + std::to_string(kMaxThreads);
        return false;
      }
    } else if (option == "--repeat") {
      if (!ParseCount(value, 1, kMaxRepeat, &result.repeat)) {
        *error = "--repeat takes a count from 1 to " + std::to_string(kMaxRepeat);
        return false;
      }
    } else if (option == "--cancel-after") {
      if (!ParseCount(value, 0, kMaxCancelAfterMs, &result.cancel_after_ms)) {
        *error = "--cancel-after takes milliseconds from 0 to " + std::to_string(kMaxCancelAfterMs);
        return false;
      }
    } else if (option == "--login") {
      // A login is a name: not empty, and no NUL (it would end it early).
      if (value.empty() || value.find('\0') != std::string::npos) {
        *error = "--login needs a name";
        return false;
      }
      result.login = value;
    } else if (option == "-Q") {
      result.source = StatementSource::kQuery;
      result.query = value;
    } else {
      result.source = StatementSource::kFile;
      result.file = value;
    }
  }
  *out = std::move(result);
  return true;
}

}  // namespace xpexec
