// The sender address: stored as given, for the From line and MAIL FROM.
//
// The address is not parsed or checked for form; only a line break is
// refused (E_INVALIDARG), since it would end the MAIL FROM command and the
// From line and let the caller smuggle in commands or header lines.
#include <cstring>

#include "mail/smtp_mail.h"

HResult CSmtpMail::SetFrom(const char *from) {
  if (from == nullptr) return HResultOfFailure();
  if (std::strpbrk(from, "\r\n") != nullptr) return E_INVALIDARG;
  try {
    m_from = from;
  } catch (...) {
    return HResultOfFailure();
  }
  return S_OK;
}
