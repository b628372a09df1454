#include "report/csv_attachment.h"

#include <exception>
#include <new>

#include "mime/base64_stream.h"
#include "report/csv_rows.h"

namespace {

// RFC 7111; its text is UTF-8 (csv_rows.h).
constexpr char kCsvType[] = "text/csv";
constexpr char kCsvCharset[] = "utf-8";
constexpr char kBase64[] = "base64";

}  // namespace

CCsvAttachment::CCsvAttachment(std::shared_ptr<const CJsonRows> rows, std::string name,
                               TextSource source)
    : m_rows(std::move(rows)), m_name(std::move(name)) {
  m_contentType = kCsvType;
  SetCharset(kCsvCharset);
  m_encodingName = kBase64;
  m_nameSource = source;
}

int CCsvAttachment::WriteTo(COutputChannel *channel, const char *boundary, int) {
  if (channel == nullptr || boundary == nullptr || m_rows == nullptr) return 0;
  try {
    std::string header;
    if (!FormatAttachmentHeader(header, boundary, m_name.c_str()) ||
        !channel->WriteBytes(header.data(), header.size()))
      return 0;
    // base64 lines never begin with "." : the SMTP flag changes nothing.
    CBase64Stream encoded(*channel);
    return WriteCsvRows(*m_rows, encoded) && encoded.Finish() ? 1 : 0;
  } catch (const std::exception &) {
    return 0;
  }
}

CMimePart *CCsvAttachment::Clone() const {
  try {
    return new CCsvAttachment(*this);
  } catch (const std::exception &) {
    return nullptr;
  }
}
