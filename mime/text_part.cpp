// The plain-text and HTML body parts: their part header and the body
// writer that streams the text through a fixed buffer.
#include "mime/text_part.h"

#include <cstring>
#include <new>

#include "charset/convert.h"
#include "mime/part_prefix.h"
#include "mime/body_writer.h"

namespace {

// The transfer encodings of a body: 8bit as long as no line is longer than
// a line may be, else quoted-printable (RFC 2045 section 6.7), so that no
// byte of the text changes on the way.
constexpr char k8Bit[] = "8bit";
constexpr char kQuotedPrintable[] = "quoted-printable";

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

CBodyShape ShapeOf(const std::string &text) {
  CBodyShape shape;
  shape.Put(text.data(), text.size());
  return shape;
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
    m_insert.reset();
  } catch (const std::bad_alloc &) {
    return 0;
  }
  return GetCharsetName(m_charset, code_page, service, kCharsetNameSize) ? 1 : 0;
}

bool CTextPart::LongLine() const {
  return m_insert != nullptr ? m_insertLongLine : ShapeOf(m_text).LongLine();
}

bool CTextPart::SendsEightBitBytes() const {
  // A body with a long line goes out quoted-printable: 7-bit.
  if (m_insert != nullptr) return !m_insertLongLine && m_insertEightBit;
  const CBodyShape shape = ShapeOf(m_text);
  return !shape.LongLine() && shape.EightBit();
}

int CTextPart::SetInsert(std::size_t at, std::size_t replaced,
                         std::unique_ptr<CBodyInsert> insert) {
  if (insert == nullptr || at > m_text.size() || replaced > m_text.size() - at) return 0;
  std::unique_ptr<CBodyInsert> before = std::move(m_insert);
  const std::size_t beforeAt = m_insertAt, beforeReplaced = m_insertReplaced;
  m_insert = std::move(insert);
  m_insertAt = at;
  m_insertReplaced = replaced;
  CBodyShape shape;
  if (!PutBody(shape)) {
    m_insert = std::move(before);
    m_insertAt = beforeAt;
    m_insertReplaced = beforeReplaced;
    return 0;
  }
  m_insertLongLine = shape.LongLine();
  m_insertEightBit = shape.EightBit();
  return 1;
}

bool CTextPart::PutBody(CBodySink &sink) const {
  if (m_insert == nullptr) return sink.Put(m_text.data(), m_text.size());
  const std::size_t rest = m_insertAt + m_insertReplaced;
  CSinkChannel channel(sink);
  return sink.Put(m_text.data(), m_insertAt) && m_insert->WriteTo(channel) &&
         sink.Put(m_text.data() + rest, m_text.size() - rest);
}

int CTextPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/plain", m_charset,
                          LongLine() ? kQuotedPrintable : k8Bit);
}

int CHtmlPart::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatTextHeader(out, boundary, "text/html", m_charset,
                          LongLine() ? kQuotedPrintable : k8Bit);
}

int CTextPart::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr) return 0;
  std::string header;
  if (!FormatPartHeader(header, boundary) || header.size() > CPartBuffer::kSize) return 0;
  try {
    CPartBuffer buffer(channel);
    buffer.Put(header.data(), header.size());
    CBodyWriter writer(buffer, (flags & kWriteSmtp) != 0, LongLine());
    return PutBody(writer) && writer.Finish() ? 1 : 0;
  } catch (const std::bad_alloc &) {
    return 0;
  }
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
    copy.m_insert = m_insert != nullptr ? m_insert->Clone() : nullptr;
    if (m_insert != nullptr && copy.m_insert == nullptr) return false;
  } catch (const std::bad_alloc &) {
    return false;
  }
  copy.m_insertAt = m_insertAt;
  copy.m_insertReplaced = m_insertReplaced;
  copy.m_insertLongLine = m_insertLongLine;
  copy.m_insertEightBit = m_insertEightBit;
  std::memcpy(copy.m_charset, m_charset, sizeof m_charset);
  return true;
}

CMimePart *CTextPart::Clone() const { return CloneAs<CTextPart>(*this); }

// A copy of an HTML part stays an HTML part.
CMimePart *CHtmlPart::Clone() const { return CloneAs<CHtmlPart>(*this); }
