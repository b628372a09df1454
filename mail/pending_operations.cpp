// Operations not built yet. Each fails plainly (E_NOTIMPL, 0, null) and
// none pretends to succeed; each moves to its own file when it is built.
#include "charset/multi_language.h"
#include "mail/smtp_mail.h"
#include "mime/mail_header.h"

int FormatDateHeader(char *, int) { return 0; }

CMailHeader::CMailHeader() = default;
CMailHeader::~CMailHeader() { SetMultiLanguage(nullptr); }

void CMailHeader::SetMultiLanguage(CMultiLanguageService *service) {
  if (service != nullptr) service->AddRef();
  if (m_multiLanguage != nullptr) m_multiLanguage->Release();
  m_multiLanguage = service;
}

void CMailHeader::CopyHeaderTo(CMailHeader &) const {}
CMimePart *CMailHeader::Clone() const { return nullptr; }
int CMailHeader::WriteTo(COutputChannel *, const char *, int) { return 0; }
int CMailHeader::EncodeHeaderText(const std::string &, const char *, char *, std::size_t,
                                  std::size_t *, int *) const {
  return 0;
}

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
int CSmtpMail::WriteTo(COutputChannel *, const char *, int) { return 0; }
int CSmtpMail::FormatPartHeader(std::string &, const char *) { return 0; }
int CSmtpMail::MakeBoundary(char *, std::size_t) const { return 0; }
HResult CSmtpMail::SetList(std::string &, const char *, std::uint32_t, bool) { return E_NOTIMPL; }

#include "mime/text_part.h"
#include "smtp/envelope.h"

CTextPart::CTextPart() = default;
CTextPart::~CTextPart() = default;
int CTextPart::WriteTo(COutputChannel *, const char *, int) { return 0; }
CMimePart *CTextPart::Clone() const { return nullptr; }
int CTextPart::FormatPartHeader(std::string &, const char *) { return 0; }
int CTextPart::SetText(const char *, int, CMultiLanguageService *, std::uint32_t) { return 0; }
CMimePart *CHtmlPart::Clone() const { return nullptr; }
int CHtmlPart::FormatPartHeader(std::string &, const char *) { return 0; }

bool ExtractAddresses(const char *, char *, std::size_t *) { return false; }
CEnvelopeElements::Result CEnvelopeElements::Next(std::string &) { return kTooLong; }
