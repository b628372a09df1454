#include "mime/base64_stream.h"

#include <cstring>

#include "mime/base64.h"

namespace {

// 100 lines of 57 bytes: the chunk of a base64 file attachment, a whole
// number of groups and of lines.
constexpr std::size_t kChunk = 100 * 57;
// A chunk's encoding, and the CR LF after the last.
constexpr std::size_t kOutput = 100 * 80 + 3;
static_assert(kChunk % 3 == 0);

}  // namespace

CBase64Stream::CBase64Stream(COutputChannel &next)
    : m_next(next), m_input(new char[kChunk]), m_output(new char[kOutput]) {}

bool CBase64Stream::WriteBytes(const void *data, std::size_t length) {
  const char *bytes = static_cast<const char *>(data);
  while (length > 0) {
    const std::size_t take = length < kChunk - m_filled ? length : kChunk - m_filled;
    std::memcpy(m_input.get() + m_filled, bytes, take);
    m_filled += take;
    bytes += take;
    length -= take;
    if (m_filled == kChunk && !WriteChunk(false)) return false;
  }
  return true;
}

bool CBase64Stream::Finish() { return WriteChunk(true); }

bool CBase64Stream::WriteChunk(bool last) {
  // A full chunk ends with CR LF and needs no fill; the last one gets its
  // fill and its own CR LF.
  std::size_t produced = kOutput - 2;
  if (!EncodeBase64(m_input.get(), m_filled, m_output.get(), &produced, last ? 0 : kBase64NoFill))
    return false;
  if (last) {
    m_output[produced++] = '\r';
    m_output[produced++] = '\n';
  }
  m_filled = 0;
  return m_next.WriteBytes(m_output.get(), produced);
}
