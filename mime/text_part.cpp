// The plain-text and HTML body parts: their part header and the body
// writer that streams the text through a fixed buffer.
#include "mime/text_part.h"

#include <cstring>
#include <new>

#include "charset/convert.h"
#include "mime/part_prefix.h"

namespace {

// The output buffer of the body writer.
constexpr std::size_t kBufferSize = 4096;
// The most one byte of text can add: a line break, a doubled dot and the
// byte, or a line break and a line end.
constexpr std::size_t kMostPerByte = 4;
// Content bytes on one line (RFC 5322 section 2.1.1), the CR LF not counted.
constexpr std::size_t kLineLimit = 998;
// The highest byte of 7-bit text.
constexpr unsigned char kLastSevenBit = 0x7f;

int FormatTextHeader(std::string &out, const char *boundary, const char *type,
                     const char *charset) {
  if (boundary == nullptr) return 0;
  try {
    std::string header;
    AppendPartPrefix(header, boundary);
    header += "\r\nContent-Type: ";
    header += type;
    header += ";\r\n\tcharset=\"";
    header += charset;
    header += "\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    out.swap(header);
    return 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

// The body writer's buffer: filled, and written whenever it may not hold
// what the next byte adds.
class CPartBuffer {
 public:
  explicit CPartBuffer(COutputChannel *channel) : m_channel(channel) {}
  void Put(char c) { m_bytes[m_used++] = c; }
  void Put(const char *text, std::size_t n) {
    std::memcpy(m_bytes + m_used, text, n);
    m_used += n;
  }
  bool MakeRoom() { return m_used + kMostPerByte <= kBufferSize || Flush(); }
  bool Flush() {
    if (m_used == 0) return true;
    bool ok = m_channel->WriteBytes(m_bytes, m_used);
    m_used = 0;
    return ok;
  }

 private:
  COutputChannel *m_channel;
  char m_bytes[kBufferSize];
  std::size_t m_used = 0;
};

}  // namespace

CTextPart::CTextPart() = default;
CTextPart::~CTextPart() = default;

int CTextPart::SetText(const char *text, int length, CMultiLanguageService *service,
                       std::uint32_t code_page) {
  if (text == nullptr) return 0;
  try {
    if (service != nullptr) {
      std::string converted;
      if (!ConvertText(service, code_page, text, converted)) return 0;
      m_text.swap(converted);
    } else {
      std::size_t n = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
      m_text.assign(text, n);
    }
  } catch (const std::bad_alloc &) {
    return 0;
  }
  return GetCharsetName(m_charset, code_page, service, kCharsetNameSize) ? 1 : 0;
}

bool CTextPart::SendsEightBitBytes() const {
  for (char c : m_text)
    if (static_cast<unsigned char>(c) > kLastSevenBit) return true;
  return false;
}

int CTextPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/plain", m_charset);
}

int CHtmlPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/html", m_charset);
}

int CTextPart::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr) return 0;
  std::string header;
  if (!FormatPartHeader(header, boundary) || header.size() > kBufferSize) return 0;
  CPartBuffer buffer(channel);
  buffer.Put(header.data(), header.size());

  // With kWriteSmtp every line end goes out as CR LF and a "." that begins a
  // line is doubled (RFC 5321 4.5.2), so no text can end the data early. A
  // line end never needs a break before it: the limit counts content only.
  const bool smtp = (flags & kWriteSmtp) != 0;
  const std::size_t n = m_text.size();
  std::size_t column = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!buffer.MakeRoom()) return 0;
    const char c = m_text[i];
    const bool crlf = c == '\r' && i + 1 < n && m_text[i + 1] == '\n';
    if (crlf || (smtp && (c == '\r' || c == '\n'))) {
      buffer.Put("\r\n", 2);
      if (crlf) ++i;
      column = 0;
      continue;
    }
    if (column == kLineLimit) {
      buffer.Put("\r\n", 2);
      column = 0;
    }
    if (column == 0 && smtp && c == '.') {
      buffer.Put('.');
      ++column;
    }
    buffer.Put(c);
    ++column;
  }
  return buffer.Flush() ? 1 : 0;
}

namespace {

// A new part of the given kind with the text and charset of `from`; null
// when memory runs out.
template <class Part>
CMimePart *CloneAs(const CTextPart &from) {
  Part *copy = new (std::nothrow) Part();
  if (copy == nullptr) return nullptr;
  if (!from.CopyTextTo(*copy)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

}  // namespace

bool CTextPart::CopyTextTo(CTextPart &copy) const {
  try {
    copy.m_text = m_text;
  } catch (const std::bad_alloc &) {
    return false;
  }
  std::memcpy(copy.m_charset, m_charset, sizeof m_charset);
  return true;
}

CMimePart *CTextPart::Clone() const { return CloneAs<CTextPart>(*this); }

// A copy of an HTML part stays an HTML part.
CMimePart *CHtmlPart::Clone() const { return CloneAs<CHtmlPart>(*this); }
