#include "mime/attachment.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "charset/system_name.h"
#include "mime/base64.h"
#include "mime/file_name_parameter.h"
#include "mime/file_reader.h"
#include "mime/part_prefix.h"
#include "mime/path_syntax.h"
#include "mime/quoted_printable.h"
#include "mime/uuencode.h"

namespace {

// A chunk is 100 lines of input. The output areas are those the encoders
// have always been given (100 x 80, 344 and 240 bytes, plus 3); each holds
// a chunk's worst case, as checked below for the encoders whose bound is a
// constant expression. The base64 area holds Base64Capacity(5700) = 7802
// and the CR LF after a short chunk.
struct CEncoding {
  const char *name;
  std::size_t lineBytes;
  std::size_t outputSize;
  std::size_t ChunkSize() const { return 100 * lineBytes; }
};

constexpr CEncoding kBase64{"base64", 57, 100 * 80 + 3};
constexpr CEncoding kUuencode{"uuencode", kUuencodeLineBytes, 100 * 344 + 3};
constexpr CEncoding kQuotedPrintable{"quoted-printable", 76, 100 * 240 + 3};

static_assert(UuencodeCapacity(100 * kUuencodeLineBytes, kMaxAttachmentPath) <=
              kUuencode.outputSize);
static_assert(QuotedPrintableCapacity(100 * 76) <= kQuotedPrintable.outputSize);

const CEncoding *EncodingOfKind(int kind) {
  switch (kind) {
    case kAttachmentBase64: return &kBase64;
    case kAttachmentUuencode: return &kUuencode;
    case kAttachmentQuotedPrintable: return &kQuotedPrintable;
    default: return nullptr;
  }
}

// The path is shown as the client's messages show text (system_name.h).
std::string FailureText(const char *what, const char *path, TextSource source,
                        const std::int32_t *error) {
  std::string text = "Cannot ";
  text += what;
  text += " attachment file(";
  text += ClientText(path, source);
  text += ")";
  if (error != nullptr) text += "(" + std::to_string(*error) + ")";
  return text;
}

}  // namespace

bool PathHasLineBreak(const char *path) {
  return path != nullptr && std::strpbrk(path, "\r\n") != nullptr;
}

bool CAttachment::SetCharset(const char *charset) {
  if (charset == nullptr) return false;
  std::size_t length = std::strlen(charset);
  if (length >= sizeof m_charset) return false;
  std::memcpy(m_charset, charset, length + 1);
  return true;
}

int CAttachment::FormatPartHeader(std::string &out, const char *boundary) {
  return FormatAttachmentHeader(out, boundary, "rawdata");
}

int CAttachment::FormatAttachmentHeader(std::string &out, const char *boundary, const char *path) {
  if (boundary == nullptr || path == nullptr || m_encodingName == nullptr) return 0;
  try {
    const char *name = LastPathComponent(path, m_nameSource);
    out.clear();
    AppendPartPrefix(out, boundary);
    out += "\r\nContent-Type: ";
    out += m_contentType;
    // Parameters are separated by ";" (RFC 2045 section 5.1): without it a
    // reader drops the name and may take the part for text/plain (5.2).
    out += ";\r\n\tcharset=\"";
    out += m_charset;
    out += "\";\r\n\t";
    AppendFileNameParameter(out, "name", name, m_charset, m_nameSource);
    out += "\r\nContent-Transfer-Encoding: ";
    out += m_encodingName;
    if (m_contentId.empty()) {
      out += "\r\nContent-Disposition: attachment;\r\n\t";
    } else {
      out += "\r\nContent-ID: <" + m_contentId + ">\r\nContent-Disposition: inline;\r\n\t";
    }
    AppendFileNameParameter(out, "filename", name, m_charset, m_nameSource);
    out += "\r\n\r\n";
    return 1;
  } catch (const std::exception &) {
    return 0;
  }
}

CFileAttachment::CFileAttachment() { m_encodingName = kBase64.name; }

bool CFileAttachment::SetKind(int kind) {
  const CEncoding *encoding = EncodingOfKind(kind);
  if (encoding == nullptr) return false;
  m_kind = kind;
  m_encodingName = encoding->name;
  return true;
}

bool CFileAttachment::SetPath(const char *path, TextSource source) {
  if (path == nullptr || PathHasLineBreak(path)) return false;
  std::size_t length = std::strlen(path);
  if (length > kMaxAttachmentPath) return false;
  std::memcpy(m_path, path, length + 1);
  m_nameSource = source;
  return true;
}

CMimePart *CFileAttachment::Clone() const {
  try {
    return new CFileAttachment(*this);
  } catch (const std::exception &) {
    return nullptr;
  }
}

int CFileAttachment::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr) return 0;
  const CEncoding *encoding = EncodingOfKind(m_kind);
  if (encoding == nullptr) return 0;
  m_encodingName = encoding->name;
  try {
    CFileReader file;
    if (!file.Open(m_path, m_nameSource)) {
      std::int32_t error = file.Error();
      channel->SetFailureText(FailureText("open", m_path, m_nameSource, &error).c_str());
      return 0;
    }
    std::string header;
    if (!FormatAttachmentHeader(header, boundary, m_path)) return 0;
    if (!channel->WriteBytes(header.data(), header.size())) return 0;

    const std::size_t chunk = encoding->ChunkSize();
    std::unique_ptr<char[]> input(new (std::nothrow) char[chunk + 1]);
    std::unique_ptr<char[]> output(new (std::nothrow) char[encoding->outputSize]);
    if (input == nullptr || output == nullptr) return 0;

    const bool smtp = (flags & kWriteSmtp) != 0;
    bool first = true;
    for (;;) {
      // Fill the chunk until it is full or the file ends (a read of 0).
      std::size_t filled = 0;
      while (filled < chunk) {
        std::size_t got = 0;
        if (!file.Read(input.get() + filled, chunk - filled, &got)) {
          std::int32_t error = file.Error();
          channel->SetFailureText(FailureText("read", m_path, m_nameSource, &error).c_str());
          return 0;
        }
        if (got == 0) break;
        filled += got;
      }
      const bool full = filled == chunk;

      std::size_t produced = encoding->outputSize;
      int encoded = 0;
      if (encoding == &kBase64) {
        // A full chunk is a whole number of groups and lines: it ends with
        // CR LF and needs no fill. The last one gets its own CR LF.
        produced -= 2;
        encoded = EncodeBase64(input.get(), filled, output.get(), &produced,
                               full ? kBase64NoFill : 0);
        if (encoded != 0 && !full) {
          output[produced++] = '\r';
          output[produced++] = '\n';
        }
      } else if (encoding == &kUuencode) {
        int uu = (first ? kUuencodeBegin : 0) | (full ? 0 : kUuencodeEnd) |
                 (smtp ? kUuencodeDoubleDot : 0);
        encoded = EncodeUuencode(input.get(), filled, output.get(), &produced, m_path, uu);
      } else {
        // Every full chunk ends with a soft break, so chunks join on line
        // boundaries with the column back at 0.
        int qp = (full ? kQuotedPrintableSoftEnd : 0) | (smtp ? kQuotedPrintableDoubleDot : 0);
        encoded = EncodeQuotedPrintable(input.get(), filled, output.get(), &produced, qp);
      }
      if (encoded == 0) {
        channel->SetFailureText(FailureText("encode", m_path, m_nameSource, nullptr).c_str());
        return 0;
      }
      if (produced != 0 && !channel->WriteBytes(output.get(), produced)) return 0;
      if (!full) return 1;
      first = false;
    }
  } catch (const std::exception &) {
    return 0;
  }
}
