#include "tests/support/memory_channel.h"

bool CMemoryChannel::WriteBytes(const void *data, std::size_t length) {
  ++m_calls;
  if (m_failFrom != 0 && m_calls >= m_failFrom) return false;
  const char *bytes = static_cast<const char *>(data);
  m_bytes.append(bytes, length);
  m_writes.emplace_back(bytes, length);
  return true;
}
