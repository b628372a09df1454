// The header block of a message (Date, From, Subject, To, CC) and the
// copy operations of the header fields.
#include "mime/mail_header.h"

#include <cstring>
#include <new>

#include "mime/date_header.h"
#include "mime/encoded_word.h"
#include "mime/header_fold.h"
#include "mime/local_time.h"

namespace {

// The Date line's buffer: the line and its NUL, with room to spare.
constexpr int kDateBufferSize = 64;

}  // namespace

CMailHeader::CMailHeader() = default;

CMailHeader::~CMailHeader() { SetMultiLanguage(nullptr); }

void CMailHeader::SetMultiLanguage(CMultiLanguageService *service) {
  if (service != nullptr) service->AddRef();
  if (m_multiLanguage != nullptr) m_multiLanguage->Release();
  m_multiLanguage = service;
}

void CMailHeader::CopyHeaderTo(CMailHeader &other) const {
  other.SetMultiLanguage(m_multiLanguage);
  other.m_from = m_from;
  other.m_to = m_to;
  other.m_cc = m_cc;
  other.m_bcc.clear();
  other.m_subject = m_subject;
  other.m_priority = m_priority;
  other.m_extraHeader = m_extraHeader;
  other.m_fromName = m_fromName;
  std::memcpy(other.m_subjectCharset, m_subjectCharset, sizeof m_subjectCharset);
  std::memcpy(other.m_nameCharset, m_nameCharset, sizeof m_nameCharset);
}

CMimePart *CMailHeader::Clone() const {
  CMailHeader *copy = new (std::nothrow) CMailHeader();
  if (copy == nullptr) return nullptr;
  try {
    CopyHeaderTo(*copy);
  } catch (...) {
    delete copy;
    return nullptr;
  }
  return copy;
}

bool CMailHeader::ReadClock(CLocalTime &now) const { return ReadLocalTime(now); }

int CMailHeader::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr) return 0;
  // Every text here arrives checked or encoded (long encoded names carry
  // folds); a line break that got through anyway would add header lines of
  // the caller's choosing, so the block is refused rather than sent.
  if (HasLineBreak(m_from) || HasBareLineBreak(m_to) || HasBareLineBreak(m_cc)) return 0;
  try {
    std::string block;
    CLocalTime now;
    char date[kDateBufferSize];
    if (!ReadClock(now) || FormatDateHeaderAt(date, sizeof date, now) == 0) return 0;
    block += date;
    block += "\r\n";

    if (!m_from.empty()) {
      block += "From: ";
      AppendValueFolded(block, "<" + m_from + ">");
      block += "\r\n";
    }
    if (!m_subject.empty()) {
      std::string subject;
      bool encoded = false;
      if (!BuildHeaderText(m_subject, m_subjectCharset, m_multiLanguage != nullptr, subject,
                           encoded))
        return 0;
      if (!subject.empty()) {
        block += "Subject: ";
        AppendValueFolded(block, subject);
        block += "\r\n";
      }
    }
    if (!m_to.empty()) {
      block += "To: ";
      AppendListFolded(block, m_to);
      block += "\r\n";
    }
    if (!m_cc.empty()) {
      block += "CC: ";
      AppendListFolded(block, m_cc);
      block += "\r\n";
    }
    return channel->WriteBytes(block.data(), block.size()) ? 1 : 0;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}
