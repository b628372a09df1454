// CMailHeader: the header fields of a message and the header block it
// writes (Date, From, Reply-To, Subject, To, CC, then Message-ID), and the
// RFC 2047
// encoded-word writer used for subjects and display names.
//
// The header holds one reference on the multi-language service (may be
// null: then header text is never encoded) and releases it when destroyed.
// The To, CC and Reply-To texts arrive in their final form, items joined
// by ", "; the
// BCC text only ever serves the envelope and is never written. Caller text
// is untrusted: CR and LF never reach the header raw.
#ifndef MAILVANE_MIME_MAIL_HEADER_H
#define MAILVANE_MIME_MAIL_HEADER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "charset/multi_language.h"
#include "mime/encoded_word.h"
#include "mime/mime_part.h"

struct CLocalTime;

class CMailHeader : public CMimePart {
 public:
  CMailHeader();
  ~CMailHeader() override;
  CMailHeader(const CMailHeader &) = delete;
  CMailHeader &operator=(const CMailHeader &) = delete;

  // The header block, written with one write.
  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  const char *GetContentType() const override { return "text/plain"; }
  CMimePart *Clone() const override;
  int FormatPartHeader(std::string &out, const char *boundary) override { return 1; }

  // RFC 2047: text copied unchanged, or one encoded word (Q or B) when it
  // holds unsafe bytes and a service is present; a text too long for one
  // word of 75 characters becomes several words joined by folds. Fails for a text
  // with CR or LF when there is no service. place says whether the words
  // stand in a phrase (display names). See mime/encoded_word.h.
  int EncodeHeaderText(const std::string &text, const char *charset, char *out,
                       std::size_t capacity, std::size_t *out_length, int *encoded,
                       WordPlace place = WordPlace::kText) const;

 protected:
  // Copies every field but the BCC text into other (Clone of the mail).
  void CopyHeaderTo(CMailHeader &other) const;
  // Replaces the service, taking a reference on the new one.
  void SetMultiLanguage(CMultiLanguageService *service);
  // The local time and bias of the Date line; tests fix it.
  virtual bool ReadClock(CLocalTime &now) const;
  // The unique left side of the Message-ID (message_id.h; false, with the
  // platform error in *error, when none can be made) and the host name it
  // uses when the sender address has no domain; tests fix both.
  virtual bool MessageIdLeft(std::string &left, std::int32_t *error) const;
  virtual std::string MessageIdHost() const;

 public:
  CMultiLanguageService *m_multiLanguage = nullptr;
  std::string m_from;         // bare sender address
  std::string m_to;           // To text, items joined by ", "
  std::string m_cc;           // CC text, same form
  std::string m_bcc;          // BCC addresses joined by ","
  std::string m_replyTo;      // Reply-To text, the form of the To text;
                              // empty: no Reply-To line
  std::string m_subject;      // already converted to m_subjectCharset
  std::int32_t m_priority = 3;
  std::string m_extraHeader;  // raw header lines after X-Priority; empty
  std::string m_fromName;     // display part of the From line (quoted or
                              // encoded, display_name.h); empty: none
  // The Message-ID without its angle brackets, made when the header block
  // is first written and kept, so that a message written again (to
  // another server) is the same message; empty until then.
  std::string m_messageId;
  char m_subjectCharset[kCharsetNameSize] = {};
  char m_nameCharset[kCharsetNameSize] = {};
};

#endif
