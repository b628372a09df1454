// The plain-text and HTML body parts: their part header and the body
// writer that streams the text through a fixed buffer.
#include "mime/text_part.h"

#include <cstring>
#include <new>

#include "charset/convert.h"
#include "mime/part_prefix.h"
#include "mime/quoted_printable.h"

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

// The transfer encodings of a body: 8bit as long as no line is longer than
// a line may be, else quoted-printable (RFC 2045 section 6.7), so that no
// byte of the text changes on the way.
constexpr char k8Bit[] = "8bit";
constexpr char kQuotedPrintable[] = "quoted-printable";

// Input bytes given to the quoted-printable encoder at once.
constexpr std::size_t kQuotedPrintablePiece = 1024;

int FormatTextHeader(std::string &out, const char *boundary, const char *type,
                     const char *charset, const char *encoding) {
  if (boundary == nullptr) return 0;
  try {
    std::string header;
    AppendPartPrefix(header, boundary);
    header += "\r\nContent-Type: ";
    header += type;
    header += ";\r\n\tcharset=\"";
    header += charset;
    header += "\"\r\nContent-Transfer-Encoding: ";
    header += encoding;
    header += "\r\n\r\n";
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
  // Any number of bytes, through the buffer.
  bool Append(const char *data, std::size_t n) {
    while (n > 0) {
      if (m_used == kBufferSize && !Flush()) return false;
      std::size_t take = n < kBufferSize - m_used ? n : kBufferSize - m_used;
      Put(data, take);
      data += take;
      n -= take;
    }
    return true;
  }
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

// The length of the line end at i (CR LF, or a bare CR or LF, which the
// SMTP writer sends as CR LF); 0 when none starts there.
std::size_t LineEndAt(const std::string &text, std::size_t i) {
  if (text[i] == '\r') return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
  return text[i] == '\n' ? 1 : 0;
}

// Writes one line (without its end) in quoted-printable, in pieces joined
// by soft line breaks.
bool PutQuotedPrintableLine(CPartBuffer &buffer, const char *line, std::size_t length,
                            bool smtp, std::string &area) {
  const int dots = smtp ? kQuotedPrintableDoubleDot : 0;
  std::size_t done = 0;
  while (done < length) {
    const std::size_t piece =
        length - done < kQuotedPrintablePiece ? length - done : kQuotedPrintablePiece;
    const bool last = done + piece == length;
    std::size_t produced = area.size();
    if (!EncodeQuotedPrintable(line + done, piece, area.data(), &produced,
                               dots | (last ? 0 : kQuotedPrintableSoftEnd)) ||
        !buffer.Append(area.data(), produced))
      return false;
    done += piece;
  }
  return true;
}

// True when a line of text, counted between line ends as the SMTP writer
// sends them, is longer than kLineLimit.
bool HasLongLine(const std::string &text) {
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::size_t end = LineEndAt(text, i); end != 0) {
      i += end - 1;
      column = 0;
    } else if (++column > kLineLimit) {
      return true;
    }
  }
  return false;
}

// The text in quoted-printable: each line encoded alone, the line ends
// kept as CR LF (RFC 2045 6.7 (4)), so the decoded text is the text.
// Throws std::bad_alloc.
bool PutQuotedPrintable(CPartBuffer &buffer, const std::string &text, bool smtp) {
  std::string area(QuotedPrintableCapacity(kQuotedPrintablePiece), '\0');
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = LineEndAt(text, i);
    if (end == 0) {
      ++i;
      continue;
    }
    if (!PutQuotedPrintableLine(buffer, text.data() + start, i - start, smtp, area) ||
        !buffer.Append("\r\n", 2))
      return false;
    i += end;
    start = i;
  }
  return PutQuotedPrintableLine(buffer, text.data() + start, text.size() - start, smtp, area);
}

}  // namespace

CTextPart::CTextPart() = default;
CTextPart::~CTextPart() = default;

int CTextPart::SetText(const char *text, int length, CMultiLanguageService *service,
                       std::uint32_t code_page, TextSource source) {
  if (text == nullptr) return 0;
  try {
    if (service != nullptr) {
      std::string converted;
      if (!ConvertText(service, code_page, text, converted, source)) return 0;
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
  // A body with a long line goes out quoted-printable: 7-bit.
  if (HasLongLine(m_text)) return false;
  for (char c : m_text)
    if (static_cast<unsigned char>(c) > kLastSevenBit) return true;
  return false;
}

int CTextPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/plain", m_charset,
                          HasLongLine(m_text) ? kQuotedPrintable : k8Bit);
}

int CHtmlPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/html", m_charset,
                          HasLongLine(m_text) ? kQuotedPrintable : k8Bit);
}

int CTextPart::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr) return 0;
  std::string header;
  if (!FormatPartHeader(header, boundary) || header.size() > kBufferSize) return 0;
  CPartBuffer buffer(channel);
  buffer.Put(header.data(), header.size());
  const bool smtp = (flags & kWriteSmtp) != 0;
  if (HasLongLine(m_text)) {
    try {
      return PutQuotedPrintable(buffer, m_text, smtp) && buffer.Flush() ? 1 : 0;
    } catch (const std::bad_alloc &) {
      return 0;
    }
  }

  // With kWriteSmtp every line end goes out as CR LF and a "." that begins a
  // line is doubled (RFC 5321 4.5.2), so no text can end the data early. A
  // line end never needs a break before it: the limit counts content only.
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
