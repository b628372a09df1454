// The mail object: construction, the sender-independent setters (subject,
// body, credentials), Clone and destruction. The recipient setters live in
// recipients.cpp, the attachment list in attachments.cpp, the message layout
// in message_layout.cpp and Send in smtp/.
#include "mail/smtp_mail.h"

#include <cstring>
#include <new>

#include "charset/ascii_case.h"
#include "charset/convert.h"
#include "mime/text_part.h"

namespace {

constexpr char kHtmlType[] = "text/html";

bool HasLineBreak(const char *text) { return std::strpbrk(text, "\r\n") != nullptr; }

}  // namespace

CSmtpMail::CSmtpMail() {
  // Creation may fail; the mail then keeps its text unconverted.
  m_multiLanguage = CMultiLanguageService::Create();
}

CSmtpMail::~CSmtpMail() {
  m_parts.clear();  // front to back, each through its virtual destructor
}

HResult CSmtpMail::SetSubject(const char *subject, std::uint32_t code_page, TextSource source) {
  try {
    if (subject == nullptr) return HResultOfFailure();
    // A line break would let the caller add header lines. With the service
    // the header writer encodes it; without one it cannot be made safe.
    if (m_multiLanguage == nullptr && HasLineBreak(subject)) return E_INVALIDARG;
    std::string converted;
    if (m_multiLanguage != nullptr) {
      if (!ConvertText(m_multiLanguage, code_page, subject, converted, source))
        return HResultOfFailure();
    } else {
      converted = subject;
    }
    m_subject.swap(converted);
    // The subject stays replaced even when its charset cannot be named.
    if (!GetCharsetName(m_subjectCharset, code_page, m_multiLanguage, kCharsetNameSize))
      return HResultOfFailure();
    return S_OK;
  } catch (...) {
    return HResultOfFailure();
  }
}

HResult CSmtpMail::SetBody(const char *text, int length, const char *content_type,
                           std::uint32_t code_page, TextSource source) {
  // Only the exact type text/html (in any case) selects an HTML body; a type
  // with parameters is a plain-text body.
  std::string type = content_type != nullptr ? content_type : "";
  for (char &c : type) c = AsciiLower(c);
  bool html = type == kHtmlType;

  if (text == nullptr) return HResultOfFailure();
  std::unique_ptr<CTextPart> part;
  try {
    part.reset(html ? new CHtmlPart() : new CTextPart());
  } catch (...) {
    return HResultOfFailure();
  }
  if (!part->SetText(text, length, m_multiLanguage, code_page, source)) return HResultOfFailure();
  try {
    m_parts.insert(m_parts.begin(), std::unique_ptr<CMimePart>(part.release()));
  } catch (...) {
    return HResultOfFailure();
  }
  return S_OK;
}

HResult CSmtpMail::SetCredentials(const char *user, const char *password) {
  // Whatever buffer the strings give up is wiped (mail/secret_string.h).
  m_user = user != nullptr ? user : "";
  m_password = password != nullptr ? password : "";
  return S_OK;
}

CMimePart *CSmtpMail::Clone() const {
  CSmtpMail *copy = new (std::nothrow) CSmtpMail();
  if (copy == nullptr) return nullptr;
  try {
    CopyHeaderTo(*copy);  // shares the service; leaves the BCC text empty
    std::memcpy(copy->m_nestedName, m_nestedName, sizeof m_nestedName);
    copy->m_parts.clear();
    for (const auto &part : m_parts) {
      CMimePart *clone = part->Clone();
      if (clone != nullptr) copy->m_parts.emplace_back(clone);
    }
  } catch (...) {
    delete copy;
    return nullptr;
  }
  return copy;
}
