// The attachment list of a mail: "@attachments" cut at ";" into file
// names, one CFileAttachment per name appended to the part list.
//
// Names are taken as they are (blanks belong to the name; an empty name
// gives an attachment whose file cannot be opened, failing the send). A
// name that cannot be added ends SetAttachments with a failure code, never
// 0: a mail must not go out without an attachment its caller asked for.
#include <exception>
#include <memory>

#include "charset/convert.h"
#include "mail/content_type.h"
#include "mail/error_codes.h"
#include "mail/invalid_argument_error.h"
#include "mail/last_error.h"
#include "mail/smtp_mail.h"
#include "mime/attachment.h"

int CSmtpMail::AddAttachment(const char *path, const char *content_type, int kind,
                             std::uint32_t code_page, TextSource source) {
  // The code of a failure is that of this name alone, not a stale error
  // left by some earlier call.
  SetThreadLastError(0);
  if (path == nullptr) return 0;
  if (PathHasLineBreak(path)) {
    // CR or LF would end the part's header lines early.
    SetThreadLastError(InvalidArgumentError());
    return 0;
  }
  try {
    auto attachment = std::make_unique<CFileAttachment>();
    char charset[kCharsetNameSize] = {};
    if (!GetCharsetName(charset, code_page, m_multiLanguage, kCharsetNameSize)) return 0;
    if (!attachment->SetCharset(charset)) return 0;
    if (!attachment->SetPath(path, source)) return 0;
    if (!attachment->SetKind(kind)) return 0;
    if (content_type != nullptr) {
      attachment->SetContentType(content_type);
    } else {
      std::string looked_up;
      if (LookupContentType(path, looked_up) == kContentTypeOutOfMemory) return 0;
      attachment->SetContentType(looked_up);
    }
    m_parts.push_back(std::move(attachment));
    return 1;
  } catch (const std::exception &) {
    return 0;
  }
}

HResult CSmtpMail::SetAttachments(char *list, TextSource source) {
  if (list == nullptr) return E_INVALIDARG;
  char *name = list;
  for (char *p = list;; ++p) {
    if (*p != ';' && *p != '\0') continue;
    const bool last = *p == '\0';
    *p = '\0';
    if (!AddAttachment(name, kDefaultContentType, kAttachmentBase64, 0, source)) {
      // A refused line break has one code on every platform; errno's
      // EINVAL would give another than Windows' ERROR_INVALID_PARAMETER.
      return PathHasLineBreak(name) ? E_INVALIDARG : HResultOfFailure();
    }
    if (last) return S_OK;
    name = p + 1;
  }
}
