#include "mime/body_writer.h"

#include <cstring>

#include "mime/quoted_printable.h"

namespace {

// The highest byte of 7-bit text.
constexpr unsigned char kLastSevenBit = 0x7f;
// Input bytes given to the quoted-printable encoder at once.
constexpr std::size_t kQuotedPrintablePiece = 1024;

}  // namespace

bool CBodyShape::Put(const char *data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') m_column = 0;
    else if (++m_column > kBodyLineLimit) m_longLine = true;
    if (static_cast<unsigned char>(c) > kLastSevenBit) m_eightBit = true;
  }
  return true;
}

void CPartBuffer::Put(const char *text, std::size_t n) {
  std::memcpy(m_bytes + m_used, text, n);
  m_used += n;
}

bool CPartBuffer::Append(const char *data, std::size_t n) {
  while (n > 0) {
    if (m_used == kSize && !Flush()) return false;
    std::size_t take = n < kSize - m_used ? n : kSize - m_used;
    Put(data, take);
    data += take;
    n -= take;
  }
  return true;
}

bool CPartBuffer::Flush() {
  if (m_used == 0) return true;
  bool ok = m_channel->WriteBytes(m_bytes, m_used);
  m_used = 0;
  return ok;
}

CBodyWriter::CBodyWriter(CPartBuffer &buffer, bool smtp, bool quotedPrintable)
    : m_buffer(buffer), m_smtp(smtp), m_quotedPrintable(quotedPrintable) {
  if (quotedPrintable) {
    m_piece.reserve(kQuotedPrintablePiece);
    m_area.resize(QuotedPrintableCapacity(kQuotedPrintablePiece));
  }
}

bool CBodyWriter::Put(const char *data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (!(m_quotedPrintable ? QuotedPrintableByte(data[i]) : EightBitByte(data[i]))) return false;
  return true;
}

bool CBodyWriter::Finish() {
  if (m_quotedPrintable) return EncodePiece(false) && m_buffer.Flush();
  if (m_pendingCr) {
    // A CR at the very end: a line end of its own.
    m_pendingCr = false;
    if (!m_buffer.MakeRoom()) return false;
    if (m_smtp) m_buffer.Put("\r\n", 2);
    else EightBitContent('\r');
  }
  return m_buffer.Flush();
}

// With kWriteSmtp every line end goes out as CR LF and a "." that begins a
// line is doubled (RFC 5321 4.5.2), so no text can end the data early. A
// line end never needs a break before it: the limit counts content only.
bool CBodyWriter::EightBitByte(char c) {
  if (!m_buffer.MakeRoom()) return false;
  if (m_pendingCr) {
    m_pendingCr = false;
    if (c == '\n') {
      m_buffer.Put("\r\n", 2);
      m_column = 0;
      return true;
    }
    // A bare CR: a line end for SMTP, a byte like any other without.
    if (m_smtp) {
      m_buffer.Put("\r\n", 2);
      m_column = 0;
    } else {
      EightBitContent('\r');
    }
    if (!m_buffer.MakeRoom()) return false;
  }
  if (c == '\r') {
    m_pendingCr = true;
  } else if (m_smtp && c == '\n') {
    m_buffer.Put("\r\n", 2);
    m_column = 0;
  } else {
    EightBitContent(c);
  }
  return true;
}

void CBodyWriter::EightBitContent(char c) {
  if (m_column == kBodyLineLimit) {
    m_buffer.Put("\r\n", 2);
    m_column = 0;
  }
  if (m_column == 0 && m_smtp && c == '.') {
    m_buffer.Put('.');
    ++m_column;
  }
  m_buffer.Put(c);
  ++m_column;
}

bool CBodyWriter::QuotedPrintableByte(char c) {
  if (m_pendingCr) {
    m_pendingCr = false;
    if (c == '\n') return true;  // the rest of a CR LF
  }
  if (c == '\r' || c == '\n') {
    m_pendingCr = c == '\r';
    return EncodePiece(false) && m_buffer.Append("\r\n", 2);
  }
  if (m_piece.size() == kQuotedPrintablePiece && !EncodePiece(true)) return false;
  m_piece.push_back(c);
  return true;
}

bool CBodyWriter::EncodePiece(bool soft) {
  if (m_piece.empty()) return true;
  std::size_t produced = m_area.size();
  const int flags = (m_smtp ? kQuotedPrintableDoubleDot : 0) | (soft ? kQuotedPrintableSoftEnd : 0);
  if (!EncodeQuotedPrintable(m_piece.data(), m_piece.size(), m_area.data(), &produced, flags))
    return false;
  m_piece.clear();
  return m_buffer.Append(m_area.data(), produced);
}
