// Operations not built yet. Each fails plainly (E_NOTIMPL, 0, null) and
// none pretends to succeed; each moves to its own file when it is built.
#include "charset/convert.h"
#include "charset/multi_language.h"
#include "mail/smtp_mail.h"
#include "mime/mail_header.h"

CMultiLanguageService *CMultiLanguageService::Create() { return nullptr; }

bool ConvertText(CMultiLanguageService *, std::uint32_t, const char *, std::string &out) {
  out.clear();
  return false;
}

bool GetCharsetName(char *, std::uint32_t, CMultiLanguageService *, int) { return false; }


CSmtpMail::CSmtpMail() = default;
CSmtpMail::~CSmtpMail() = default;

HResult CSmtpMail::SetFrom(const char *) { return E_NOTIMPL; }
HResult CSmtpMail::SetTo(const char *, std::uint32_t) { return E_NOTIMPL; }
HResult CSmtpMail::SetCc(const char *, std::uint32_t) { return E_NOTIMPL; }
HResult CSmtpMail::SetBcc(const char *) { return E_NOTIMPL; }
HResult CSmtpMail::SetSubject(const char *, std::uint32_t) { return E_NOTIMPL; }
HResult CSmtpMail::SetBody(const char *, int, const char *, std::uint32_t) { return E_NOTIMPL; }
HResult CSmtpMail::SetAttachments(char *) { return E_NOTIMPL; }
HResult CSmtpMail::SetCredentials(const char *user, const char *password) {
  m_user = user != nullptr ? user : "";
  m_password = password != nullptr ? password : "";
  return S_OK;
}
HResult CSmtpMail::Send(const char *, int) {
  m_lastError = "Sending is not available in this build.";
  return E_NOTIMPL;
}
CMimePart *CSmtpMail::Clone() const { return nullptr; }
int CSmtpMail::ParseRecipient(const std::string &, std::string &, std::string &) { return 1; }
int CSmtpMail::AddRecipient(std::string &, const char *, const char *, std::uint32_t) { return 0; }
int CSmtpMail::AddBccAddress(const char *) { return 0; }
int CSmtpMail::AddAttachment(const char *, const char *, int, std::uint32_t) { return 0; }
std::size_t CSmtpMail::GetRecipientsLength() const { return 1; }
bool CSmtpMail::GetRecipients(char *, std::size_t *) const { return false; }
HResult CSmtpMail::SetList(std::string &, const char *, std::uint32_t, bool) { return E_NOTIMPL; }

#include "mime/text_part.h"
#include "smtp/envelope.h"


bool ExtractAddresses(const char *, char *, std::size_t *) { return false; }
CEnvelopeElements::Result CEnvelopeElements::Next(std::string &) { return kTooLong; }
