#include "mime/related_part.h"

#include <cstring>
#include <new>

#include "mime/part_prefix.h"

namespace {

// The mail's boundary is "------=_Next_Part_" and 14 characters of tick
// count and random number; the related part's keeps those 14 after a
// prefix of its own.
constexpr char kRelatedPrefix[] = "------=_Rel_Part_";
constexpr std::size_t kUniqueTail = 14;

}  // namespace

std::string CRelatedPart::InnerBoundary(const char *outer) {
  const std::size_t length = std::strlen(outer);
  const std::size_t tail = length < kUniqueTail ? length : kUniqueTail;
  return kRelatedPrefix + std::string(outer + length - tail, tail);
}

int CRelatedPart::FormatPartHeader(std::string &out, const char *boundary) {
  if (boundary == nullptr) return 0;
  try {
    std::string header;
    AppendPartPrefix(header, boundary);
    // The type names the root, the first part (RFC 2387 section 3.1).
    header += "\r\nContent-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" +
              InnerBoundary(boundary) + "\"\r\n";
    out.swap(header);
    return 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

int CRelatedPart::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr || m_body == nullptr) return 0;
  try {
    std::string header;
    if (!FormatPartHeader(header, boundary) || !channel->WriteBytes(header.data(), header.size()))
      return 0;
    const std::string inner = InnerBoundary(boundary);
    if (!m_body->WriteTo(channel, inner.c_str(), flags)) return 0;
    for (CMimePart *part : m_inline)
      if (!part->WriteTo(channel, inner.c_str(), flags)) return 0;
    const std::string close = "\r\n\r\n--" + inner + "--";
    return channel->WriteBytes(close.data(), close.size()) ? 1 : 0;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}
