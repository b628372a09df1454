// Inline images: the attachments an HTML body refers to by "cid:" and
// their file name (RFC 2392), so that a logo or a chart shows in the mail
// rather than as a file below it.
//
// A reference is "cid:" (in any case) and the characters after it that a
// Content-ID may hold unquoted and a URL unescaped: letters, digits and
// "-._~!$&+=@". A file name of other characters is never taken for one,
// and its attachment stays an attachment.
#include <set>
#include <string>

#include "charset/ascii_case.h"
#include "mail/content_type.h"
#include "mail/smtp_mail.h"
#include "mime/attachment.h"
#include "mime/path_syntax.h"
#include "mime/text_part.h"

namespace {

constexpr char kCidScheme[] = "cid:";

bool IsIdCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~!$&+=@").find(c) != std::string_view::npos;
}

// Every name a "cid:" reference of the text gives.
std::set<std::string> ReferencedIds(const std::string &text) {
  std::set<std::string> ids;
  const std::size_t scheme = sizeof kCidScheme - 1;
  for (std::size_t at = 0; at + scheme <= text.size(); ++at) {
    if (AsciiLower(text[at]) != 'c' || !SameAsciiText(std::string_view(text).substr(at, scheme), kCidScheme)) continue;
    std::size_t end = at + scheme;
    while (end < text.size() && IsIdCharacter(text[end])) ++end;
    if (end > at + scheme) ids.insert(text.substr(at + scheme, end - at - scheme));
    at = end - 1;
  }
  return ids;
}

bool IsIdName(const std::string &name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!IsIdCharacter(c)) return false;
  return true;
}

}  // namespace

void CSmtpMail::LinkInlineImages() {
  const auto *body = m_parts.empty() ? nullptr : dynamic_cast<const CHtmlPart *>(m_parts[0].get());
  std::set<std::string> ids;
  if (body != nullptr && body->Text().find(':') != std::string::npos) ids = ReferencedIds(body->Text());
  for (std::size_t i = 1; i < m_parts.size(); ++i) {
    auto *file = dynamic_cast<CFileAttachment *>(m_parts[i].get());
    if (file == nullptr) continue;
    const std::string name = LastPathComponent(file->Path(), file->NameSource());
    const auto found = IsIdName(name) ? ids.find(name) : ids.end();
    if (found == ids.end()) {
      file->SetContentId("");
      continue;
    }
    file->SetContentId(name);
    ids.erase(found);  // a second file of the name stays an attachment
    // An image must say it is one to be shown: typed by its extension.
    std::string type;
    if (file->GetContentType() == std::string(kDefaultContentType) &&
        LookupContentType(file->Path(), type) == 0)
      file->SetContentType(type);
  }
}
