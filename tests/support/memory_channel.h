// An in-memory output channel for byte-exact tests of the MIME writers: it
// records every byte and every failure text a writer reports, counts the
// writes, and can be told to fail the Nth write (1-based) and every write
// after it.
#ifndef MAILVANE_TESTS_SUPPORT_MEMORY_CHANNEL_H
#define MAILVANE_TESTS_SUPPORT_MEMORY_CHANNEL_H

#include <cstddef>
#include <string>
#include <vector>

#include "mime/output_channel.h"

class CMemoryChannel : public COutputChannel {
 public:
  bool WriteBytes(const void *data, std::size_t length) override;

  // Fail write number n and all later ones; 0 never fails.
  void FailFromWrite(std::size_t n) { m_failFrom = n; }

  const std::string &Bytes() const { return m_bytes; }
  // Each successful write's bytes, in order.
  const std::vector<std::string> &Writes() const { return m_writes; }
  std::size_t WriteCount() const { return m_calls; }

  // The texts writers reported through SetFailureText, in order.
  void SetFailureText(const char *text) override { m_failures.push_back(text); }
  const std::vector<std::string> &Failures() const { return m_failures; }

 private:
  std::string m_bytes;
  std::vector<std::string> m_writes;
  std::vector<std::string> m_failures;
  std::size_t m_calls = 0;
  std::size_t m_failFrom = 0;
};

#endif
