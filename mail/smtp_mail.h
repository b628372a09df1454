// CSmtpMail: the one mail of a procedure call.
//
// The request driver creates it empty, fills it through the setters, asks
// it to Send itself and reads GetLastErrorText when that fails. It is a
// CMailHeader and writes itself as the whole message (WriteTo). It owns its
// part list (the body first, then the attachments in the order added) and
// one reference on the multi-language service.
//
// Setters return 0 or a failure code (error_codes.h, and the two entry
// codes below); they never leave a text behind, the last-error text
// belongs to Send. Every text argument is untrusted caller input: an
// address with a byte an address may not hold (CR, LF and NUL among them,
// envelope_address.h), or one that is not one address, is refused before
// anything is sent.
//
// The transport operations (Send, the envelope recipient list) are declared
// here and defined in smtp/; the message layout in mail/message_layout.cpp.
#ifndef MAILVANE_MAIL_SMTP_MAIL_H
#define MAILVANE_MAIL_SMTP_MAIL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "charset/text_source.h"
#include "mail/auth_mechanism.h"
#include "mail/cancel_probe.h"
#include "mail/error_codes.h"
#include "mail/message_marks.h"
#include "mail/secret_string.h"
#include "mail/send_outcome.h"
#include "mail/smtp_timeouts.h"
#include "mail/tls_settings.h"
#include "mail/trace_sink.h"
#include "mime/mail_header.h"
#include "report/json_rows.h"

// Name and file name under which a mail announces itself when it is written
// as a message/rfc822 part of another mail: 264 bytes with the NUL.
inline constexpr int kNestedNameSize = 264;

// Results of the sender and recipient setters beside the codes of
// error_codes.h: an entry whose angle brackets are malformed, and an entry
// whose address is not one address (empty, no "@", envelope_address.h),
// which GetRefusedEntry then quotes.
inline constexpr HResult kMalformedEntry = 1;
inline constexpr HResult kRefusedAddress = 2;
// The result of SetRows for rows that are no table it takes; GetRowsFault
// says why.
inline constexpr HResult kRefusedRows = 3;

class CLeadBytes;

class CSmtpMail : public CMailHeader {
 public:
  CSmtpMail();
  ~CSmtpMail() override;

  // Setters, in the order the driver calls them. code_page 0 is the
  // system's ANSI code page; it is what display names, the subject and the
  // body are converted to and labelled with. source says what the text's
  // bytes are (text_source.h): 8-bit text in the thread code page unless
  // the caller says UTF-8. The sender takes one entry of the recipient
  // syntax (recipient_entry.h).
  HResult SetFrom(const char *from, std::uint32_t code_page,
                  TextSource source = TextSource::kThreadCodePage);
  HResult SetTo(const char *list, std::uint32_t code_page,
                TextSource source = TextSource::kThreadCodePage);
  HResult SetCc(const char *list, std::uint32_t code_page,
                TextSource source = TextSource::kThreadCodePage);
  HResult SetBcc(const char *list, TextSource source = TextSource::kThreadCodePage);
  HResult SetSubject(const char *subject, std::uint32_t code_page,
                     TextSource source = TextSource::kThreadCodePage);
  HResult SetBody(const char *text, int length, const char *content_type,
                  std::uint32_t code_page, TextSource source = TextSource::kThreadCodePage);
  // list is split in place: each ";" becomes a NUL. The names are looked
  // up as names of source (charset/system_name.h).
  HResult SetAttachments(char *list, TextSource source = TextSource::kThreadCodePage);
  HResult SetCredentials(const char *user, const char *password);

  // Beyond the twelve parameters. The Reply-To list takes the recipient
  // syntax and its refusals, and is written as To is; it adds no envelope
  // recipient. The marks set the X-Priority and the lines after it
  // (message_marks.h).
  HResult SetReplyTo(const char *list, std::uint32_t code_page,
                     TextSource source = TextSource::kThreadCodePage);
  void SetMarks(Importance importance, Sensitivity sensitivity);
  // The rows of a report: JSON text of source (report/json_rows.h),
  // converted to UTF-8 when it is 8-bit. With a file name (text of
  // name_source) they go as a CSV attachment of that name, right after the
  // body; without, into the body as a table of the body's kind, which must
  // be in UTF-8: in an HTML body where it holds "<!--rows-->" (in its
  // place), else before its "</body>", else after its text; in a plain
  // body after its text. Without a body, one of content_type (as SetBody
  // takes it) is made for the table. S_OK; kRefusedRows with the reason
  // in GetRowsFault; another code when memory runs out or the body is not
  // in UTF-8.
  HResult SetRows(std::string rows, TextSource source, const char *content_type,
                  const char *file_name, TextSource name_source = TextSource::kThreadCodePage);
  const CRowsFault &GetRowsFault() const { return m_rowsFault; }

  // Delivers the mail through server:port, the server a name of source
  // (charset/system_name.h); S_OK, or E_FAIL with the reason in the
  // last-error text.
  HResult Send(const char *server, int port, TextSource source = TextSource::kThreadCodePage);
  std::string GetLastErrorText() const { return m_lastError; }
  // How far the last Send got and the server's last word (send_outcome.h);
  // the Message-ID the message carries is m_messageId once it was written.
  const CSendOutcome &GetSendOutcome() const { return m_sendOutcome; }
  // The entry of the last kRefusedAddress, as its text quotes it.
  const std::string &GetRefusedEntry() const { return m_refusedEntry; }

  // A copy of the mail without BCC text, credentials and last error.
  CMimePart *Clone() const override;

  // Recipient lists.
  static int ParseRecipient(const std::string &entry, std::string &address,
                            std::string &display_name);
  int AddRecipient(std::string &list, const char *address, const char *display_name,
                   std::uint32_t code_page);
  int AddBccAddress(const char *address);

  // Attachments.
  int AddAttachment(const char *path, const char *content_type, int kind,
                    std::uint32_t code_page, TextSource source = TextSource::kThreadCodePage);

  // The envelope recipient list: addresses of To, then CC, then the BCC
  // text, joined by ",".
  std::size_t GetRecipientsLength() const;
  bool GetRecipients(char *buffer, std::size_t *length) const;

  // Message layout.
  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  int FormatPartHeader(std::string &out, const char *boundary) override;
  int MakeBoundary(char *out, std::size_t size) const;
  // Marks the attachments the HTML body shows inline, by a "cid:" reference
  // to their file name (the first attachment of a name), and unmarks the
  // others; the message writer then writes the body and them as one
  // multipart/related part. A body without such references changes
  // nothing.
  void LinkInlineImages();
  // True when a part of the message puts bytes above 0x7F on the wire as
  // they are (a text or HTML body sent as 8bit); attachments are encoded
  // to 7-bit text.
  bool SendsEightBitBytes() const;

  // Limits of the send: the defaults, those of "@timeout", or a test's.
  void SetTimeouts(const CSmtpTimeouts &timeouts) { m_timeouts = timeouts; }
  const CSmtpTimeouts &GetTimeouts() const { return m_timeouts; }

  // How the connection is protected; plain by default.
  void SetTls(const CTlsSettings &tls) { m_tls = tls; }
  const CTlsSettings &GetTls() const { return m_tls; }

  // Which SASL mechanism authenticates the user; chosen from the server's
  // offer by default.
  void SetAuthMechanism(AuthMechanism mechanism) { m_auth = mechanism; }
  AuthMechanism GetAuthMechanism() const { return m_auth; }

  // Where the send reports its events; none (the default) for no trace.
  // The sink belongs to the caller and must outlive Send.
  void SetTrace(CTraceSink *sink) { m_trace = sink; }
  CTraceSink *GetTrace() const { return m_trace; }

  // What every wait of the send asks (cancel_probe.h); none (the
  // default) for a send nothing can cancel. The probe belongs to the
  // caller and must outlive Send.
  void SetCancel(CCancelProbe *probe) { m_cancel = probe; }
  CCancelProbe *GetCancel() const { return m_cancel; }

  const std::vector<std::unique_ptr<CMimePart>> &Parts() const { return m_parts; }
  const CSecretString &GetUser() const { return m_user; }
  const CSecretString &GetPassword() const { return m_password; }

 protected:
  // The tick count and pseudo-random number of a new boundary; tests fix
  // them.
  virtual std::uint32_t BoundaryTickCount() const;
  virtual int BoundaryRandom() const;
  std::vector<std::unique_ptr<CMimePart>> &MutableParts() { return m_parts; }

 private:
  HResult SetList(std::string &field, const char *list, std::uint32_t code_page, TextSource source,
                  bool bcc);
  HResult AddEntry(std::string &field, const std::string &entry, std::uint32_t code_page,
                   TextSource source, bool bcc, const CLeadBytes &lead);
  // Splits a trimmed sender or recipient entry and checks its address:
  // S_OK, kMalformedEntry, E_INVALIDARG (a line break in the entry, or
  // bytes an address may not hold) or kRefusedAddress (the entry kept for
  // GetRefusedEntry).
  HResult SplitCheckedEntry(const std::string &entry, const CLeadBytes &lead, std::string &address,
                            std::string &name);

  std::vector<std::unique_ptr<CMimePart>> m_parts;
  char m_nestedName[kNestedNameSize] = "email";
  // Wiped wherever they are freed (mail/secret_string.h).
  CSecretString m_user;
  CSecretString m_password;
  std::string m_lastError;
  CSendOutcome m_sendOutcome;
  std::string m_refusedEntry;
  CRowsFault m_rowsFault;
  CSmtpTimeouts m_timeouts;
  CTlsSettings m_tls;
  AuthMechanism m_auth = AuthMechanism::kChoose;
  CTraceSink *m_trace = nullptr;
  CCancelProbe *m_cancel = nullptr;

};

#endif
