// What every fuzz target shares: a property check that stops the run, so
// that libFuzzer keeps the input that broke it, and a reader that cuts the
// fuzzer's bytes into the pieces a target needs.
//
// The bytes are untrusted by construction; nothing here reads past them.
#ifndef MAILVANE_TESTS_FUZZ_FUZZ_CHECK_H
#define MAILVANE_TESTS_FUZZ_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A property that does not hold is a finding like a crash: report it and
// abort, which libFuzzer records as a crash with its input.
#define FUZZ_CHECK(condition)                                                         \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

class CFuzzInput {
 public:
  CFuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

  // One byte, 0 once the input is used up.
  std::uint8_t Byte() { return m_size == 0 ? 0 : (--m_size, *m_data++); }

  // The bytes up to the next NUL (dropped) or the end: one C string's text.
  std::string Text() {
    std::string text;
    while (m_size != 0) {
      --m_size;
      char c = static_cast<char>(*m_data++);
      if (c == '\0') break;
      text.push_back(c);
    }
    return text;
  }

  // Everything left.
  std::string Rest() {
    std::string rest(reinterpret_cast<const char *>(m_data), m_size);
    m_data += m_size;
    m_size = 0;
    return rest;
  }

 private:
  const std::uint8_t *m_data;
  std::size_t m_size;
};

// True when every CR is followed by LF and every LF follows a CR.
inline bool OnlyCrLfPairs(const std::string &text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// The longest run of bytes between line ends (CR LF) in text.
inline std::size_t LongestLine(const std::string &text) {
  std::size_t longest = 0, start = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", start);
    std::size_t length = (end == std::string::npos ? text.size() : end) - start;
    if (length > longest) longest = length;
    if (end == std::string::npos) return longest;
    start = end + 2;
  }
}

#endif
