// The message as a whole: the header block, the X-Priority and MIME lines,
// the parts in list order, and the multipart/mixed body that holds them
// when there are two or more. Nested in another message, the mail writes
// itself as a message/rfc822 part first. An HTML body that shows some of
// the attachments inline is written with them as one multipart/related
// part, where the body stands (inline_images.cpp).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "mime/attachment.h"
#include "mime/related_part.h"
#include "mime/text_part.h"
#include "mime/tick_count.h"

namespace {

// "------=_Next_Part_" + 10 digits + "." + 3 digits, and the NUL.
constexpr std::size_t kBoundarySize = 33;
// The pseudo-random part of a boundary has three digits.
constexpr int kRandomModulus = 1000;
// A multipart body is needed from this many parts on.
constexpr std::size_t kMultipartFrom = 2;

bool Write(COutputChannel *channel, const std::string &text) {
  return channel->WriteBytes(text.data(), text.size());
}

}  // namespace

std::uint32_t CSmtpMail::BoundaryTickCount() const { return TickCountMs(); }

// rand is never seeded: the tick count makes the boundary unique enough.
int CSmtpMail::BoundaryRandom() const { return std::rand(); }

int CSmtpMail::MakeBoundary(char *out, std::size_t size) const {
  if (out == nullptr || size == 0) return 0;
  if (m_parts.size() < kMultipartFrom) {
    out[0] = '\0';
    return 1;
  }
  unsigned random = static_cast<unsigned>(BoundaryRandom() % kRandomModulus);
  unsigned tick = BoundaryTickCount();
  int n = std::snprintf(out, size, "------=_Next_Part_%.10u.%.3u", tick, random);
  if (n < 0 || static_cast<std::size_t>(n) >= size) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

bool CSmtpMail::SendsEightBitBytes() const {
  for (const auto &part : m_parts) {
    const auto *text = dynamic_cast<const CTextPart *>(part.get());
    if (text != nullptr && text->SendsEightBitBytes()) return true;
  }
  return false;
}

int CSmtpMail::FormatPartHeader(std::string &out, const char *boundary) {
  if (boundary == nullptr) return 0;
  try {
    std::string header;
    if (boundary[0] == '\0') {
      header = "X-Priority: " + std::to_string(m_priority) + "\r\n" + m_extraHeader;
    } else if (m_parts.size() >= kMultipartFrom) {
      header = "X-Priority: " + std::to_string(m_priority) + "\r\n" + m_extraHeader +
               "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"" + boundary +
               "\"\r\n";
    }
    out.swap(header);
    return 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

int CSmtpMail::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr || boundary == nullptr) return 0;
  char own[kBoundarySize];
  if (!MakeBoundary(own, sizeof own)) return 0;
  try {
    if (boundary[0] != '\0') {
      // Announced as an attached message inside the outer multipart body.
      std::string prefix = std::string("\r\n\r\n--") + boundary +
                           "\r\nContent-Type: message/rfc822;\r\n\tname=\"" + m_nestedName +
                           "\"\r\nContent-Transfer-Encoding: 8bit\r\n"
                           "Content-Disposition: attachment;\r\n\tfilename=\"" +
                           m_nestedName + "\"\r\n\r\n";
      if (!Write(channel, prefix)) return 0;
    }
    if (!CMailHeader::WriteTo(channel, boundary, flags)) return 0;
    std::string header;
    if (!FormatPartHeader(header, own) || !Write(channel, header)) return 0;
    LinkInlineImages();
    std::vector<CMimePart *> shownInline;
    for (const auto &part : m_parts)
      if (const auto *a = dynamic_cast<const CAttachment *>(part.get()); a && !a->ContentId().empty())
        shownInline.push_back(part.get());
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
      CMimePart *part = m_parts[i].get();
      if (!shownInline.empty() && i == 0) {
        CRelatedPart related(part, shownInline);
        if (!related.WriteTo(channel, own, flags)) return 0;
      } else if (std::find(shownInline.begin(), shownInline.end(), part) == shownInline.end() &&
                 !part->WriteTo(channel, own, flags)) {
        return 0;
      }
    }
    if (own[0] != '\0' && !Write(channel, std::string("\r\n\r\n--") + own + "--\r\n")) return 0;
    return 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}
