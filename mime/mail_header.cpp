// The header block of a message (Date, From, Reply-To, Subject, To, CC
// and Message-ID) and the copy operations of the header fields.
#include "mime/mail_header.h"

#include <cstring>
#include <new>

#include "mime/date_header.h"
#include "mime/encoded_word.h"
#include "mime/header_fold.h"
#include "mime/host_identity.h"
#include "mime/local_time.h"
#include "mime/message_id.h"

namespace {

// The Date line's buffer: the line and its NUL, with room to spare.
constexpr int kDateBufferSize = 64;

// The reason a message fails when no Message-ID can be made, with the
// platform's error number after it.
constexpr char kTextMessageId[] = "Cannot make Message-ID(";

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
  other.m_replyTo = m_replyTo;
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

bool CMailHeader::MessageIdLeft(std::string &left, std::int32_t *error) const {
  return MakeMessageIdLeft(left, error);
}

std::string CMailHeader::MessageIdHost() const {
  std::string host;
  return LocalHostName(host) ? host : std::string();
}

int CMailHeader::WriteTo(COutputChannel *channel, const char *boundary, int flags) {
  if (channel == nullptr) return 0;
  // Every text here arrives checked or encoded (long encoded names carry
  // folds); a line break that got through anyway would add header lines of
  // the caller's choosing, so the block is refused rather than sent.
  if (HasLineBreak(m_from) || HasBareLineBreak(m_fromName) || HasBareLineBreak(m_to) ||
      HasBareLineBreak(m_cc) || HasBareLineBreak(m_replyTo))
    return 0;
  try {
    std::string block;
    CLocalTime now;
    char date[kDateBufferSize];
    if (!ReadClock(now) || FormatDateHeaderAt(date, sizeof date, now) == 0) return 0;
    block += date;
    block += "\r\n";

    if (!m_from.empty()) {
      block += "From: ";
      // With a display name the value is a mailbox like a To item, folded
      // as one: at its blanks, never inside the address.
      if (m_fromName.empty()) AppendValueFolded(block, "<" + m_from + ">");
      else AppendListFolded(block, m_fromName + " <" + m_from + ">");
      block += "\r\n";
    }
    // Where replies go, when not to the sender (RFC 5322 3.6.2).
    if (!m_replyTo.empty()) {
      block += "Reply-To: ";
      AppendListFolded(block, m_replyTo);
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
    // Largest providers refuse mail without one; it follows the lines
    // above, whichever of them is last.
    if (m_messageId.empty()) {
      std::string left;
      std::int32_t error = 0;
      if (!MessageIdLeft(left, &error)) {
        channel->SetFailureText((kTextMessageId + std::to_string(error) + ")").c_str());
        return 0;
      }
      m_messageId = left + "@" + MessageIdRight(m_from, MessageIdHost());
    }
    block += "Message-ID: <" + m_messageId + ">\r\n";
    return channel->WriteBytes(block.data(), block.size()) ? 1 : 0;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}
