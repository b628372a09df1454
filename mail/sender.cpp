// The sender address: stored as given, for the From line and MAIL FROM.
//
// The address is not parsed or checked for form; only bytes that cannot
// travel in MAIL FROM and the From line are refused (E_INVALIDARG): a line
// break would end them and let the caller smuggle in commands or header
// lines, and a byte above 0x7E has no 7-bit form (envelope_address.h).
#include <cstring>

#include "mail/envelope_address.h"
#include "mail/smtp_mail.h"

HResult CSmtpMail::SetFrom(const char *from) {
  if (from == nullptr) return HResultOfFailure();
  if (!IsSendableAddress(from)) return E_INVALIDARG;
  try {
    m_from = from;
  } catch (...) {
    return HResultOfFailure();
  }
  return S_OK;
}
