#include "proc/request_driver.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "charset/system_name.h"
#include "charset/text_source.h"
#include "mail/recipient_entry.h"
#include "mail/secret_string.h"
#include "mail/secure_zero.h"
#include "mail/smtp_mail.h"
#include "oauth/call_token.h"
#include "oauth/token_fetch.h"
#include "proc/com_guard.h"
#include "proc/call_options.h"
#include "proc/call_report.h"
#include "proc/client_cancel.h"
#include "proc/client_trace.h"
#include "proc/ods_calls.h"
#include "proc/param_names.h"
#include "proc/param_value.h"
#include "proc/report_texts.h"
#include "proc/param_refusals.h"
#include "proc/profile_call.h"
#include "proc/profile_policy.h"
#include "proc/profile_texts.h"
#include "proc/request_failure.h"
#include "proc/xp_params.h"

namespace {

// Line numbers the client sees: one for every failure with a text, one for
// failures without.
constexpr int kTextLine = 252;
constexpr int kUnknownLine = 260;

// Fewer parameters than this gets the usage text.
constexpr int kMinimumParams = 3;

constexpr int kDefaultPort = 25;

// The options beyond the twelve have no position: only their names find
// them.
constexpr int kByNameOnly = 0;

constexpr char kUsage[] =
    "Usage:\nexec master..mailvane\n\t{[@server =] 'server'\n"
    "\t{[[@port =] 'server port number']\n\t{[[@user =] 'user name']\n"
    "\t{[[@pwd =] 'user password']\n\t,[@recipients =] 'recipients [;...n]'\n"
    "\t,[@from =] 'from' }\n\t[,[@copy_recipients =] 'copy_recipients [;...n]'\n"
    "\t[,[@blind_copy_recipients =] 'blind_copy_recipients [;...n]'\n"
    " \t[,[@subject =] 'subject']\n\t[,[@message =] 'message']\n"
    "\t[,[@type =] 'type']\n\t[,[@attachments =] 'attachments [;...n]']\n";

constexpr char kUnknownError[] = "Unknown error.";

// The end of the text that refuses a value longer than the limit.
constexpr char kTextTooLong[] = " can not be longer than ";

// The parameters, with the position each has in the usage text.
enum Param {
  kServer, kPort, kRecipients, kFrom, kCopy, kBlindCopy,
  kSubject, kMessage, kType, kAttachments, kUser, kPwd, kParamCount
};

constexpr const char *kParamNames[kParamCount] = {
    "@server", "@port",    "@recipients", "@from",        "@copy_recipients", "@blind_copy_recipients",
    "@subject", "@message", "@type",       "@attachments", "@user",            "@pwd"};

// Raises "Error(<name>): \t<code>" for a setter that failed.
void Check(HResult code, const char *name) {
  if (code == S_OK) return;
  char text[96];
  std::snprintf(text, sizeof text, "Error(%s): \t%x", name, static_cast<std::uint32_t>(code));
  throw CRequestFailure(text);
}

// A Unicode value is held as UTF-8, and written and labelled so: every
// character of it reaches the message. An 8-bit value is text in the
// thread code page, converted to code page 0.
std::uint32_t CodePageOf(ParamText text) { return text == ParamText::kUtf8 ? kUtf8CodePage : 0; }

TextSource SourceOf(ParamText text) {
  return text == ParamText::kUtf8 ? TextSource::kUtf8 : TextSource::kThreadCodePage;
}

// Raises the text that quotes a refused sender or recipient entry (as
// messages show text, in the thread code page), or "Error(<name>):
// \t<code>" for any other failure of its setter.
void CheckEntries(const CSmtpMail &mail, HResult code, const char *name, ParamText text) {
  if (code == kRefusedAddress)
    throw CRequestFailure(
        RefusedEntryText(name, ClientText(mail.GetRefusedEntry(), SourceOf(text))));
  Check(code, name);
}

void Require(std::string_view value, const char *text) {
  if (value.empty()) throw CRequestFailure(text);
}

// Every parameter but "@port" is used as text, and the setters take C
// strings: a NUL byte (varchar) or NUL character (nvarchar, converted)
// would cut the value there and send the rest of the mail without what
// follows it. "@port" is read as digits up to the first other byte.
void RefuseNul(const CSecretString (&p)[kParamCount]) {
  for (int i = 0; i < kParamCount; ++i) {
    if (i == kPort || p[i].find('\0') == CSecretString::npos) continue;
    throw CRequestFailure(std::string(kParamNames[i]) + kTextNul);
  }
}

// A Unicode value with a lone surrogate has no exact text; it is refused,
// never mended or dropped. A value too long to hold was never read.
void RefuseUnreadable(const char *name, ParamText text) {
  if (text == ParamText::kInvalidUtf16) throw CRequestFailure(std::string(name) + kTextInvalidUtf16);
  if (text == ParamText::kTooLong)
    throw CRequestFailure(std::string(name) + kTextTooLong + kMaxValueText + ".");
}

// "@server" and "@attachments" are names the system looks up (the
// resolver, the file system), each in the form its platform takes
// (charset/system_name.h). One that cannot name anything there would
// become another host or file, or none: refused.
void ToSystemNames(CSecretString (&p)[kParamCount], TextSource (&source)[kParamCount]) {
  for (Param i : {kServer, kAttachments}) {
    std::string name(p[i].data(), p[i].size());
    if (!ToSystemName(name, source[i]))
      throw CRequestFailure(std::string(kParamNames[i]) + kTextOutsideCodePage);
    p[i].assign(name.data(), name.size());
  }
}

// The credentials of the send, the password or a token fetched with the
// client secret, and the send itself: what is done again, with other
// credentials or through another server, when a send may be repeated.
// A kept token that the server refuses (AUTH ended in a 5xx, so nothing
// of the message was sent) is dropped, and the send is tried once more,
// on a new connection, with a token fetched anew; a token just fetched
// that is refused is dropped too, and fails the call.
void Deliver(CSmtpMail &mail, const CCallOptions &options, const CSecretString (&p)[kParamCount],
             const TextSource (&source)[kParamCount]) {
  CTokenEndpoint endpoint;
  CCallToken token;
  if (options.FetchesToken()) {
    ApplyTokenEndpoint(options, endpoint);
    if (!options.AuthGiven()) mail.SetAuthMechanism(AuthMechanism::kXOAuth2);
  }
  for (bool again = false;; again = true) {
    if (options.FetchesToken()) {
      // "@pwd" is the client secret, and the token got with it is the
      // credential. Got before the server is contacted: a failed fetch
      // opens no connection.
      std::string text;
      if (!token.Obtain(endpoint, p[kPwd], text, mail.GetTrace(), mail.GetCancel()))
        throw CRequestFailure(text);
      Check(mail.SetCredentials(p[kUser].c_str(), token.Token().c_str()), "@user");
    } else {
      Check(mail.SetCredentials(p[kUser].c_str(), p[kPwd].c_str()), "@user");
    }
    if (mail.Send(p[kServer].c_str(), ParsePort(p[kPort]), source[kServer]) == S_OK) return;
    if (!options.FetchesToken() || !mail.GetSendOutcome().authRefused) break;
    token.Refused();
    if (!token.Kept() || again) break;
  }
  throw CRequestFailure(mail.GetLastErrorText());
}

// Every name a call may pass: the twelve, the options and the OUTPUT
// parameters, in one list.
std::vector<const char *> KnownNames() {
  std::vector<const char *> names(std::begin(kParamNames), std::end(kParamNames));
  AppendCallOptionNames(names);
  AppendOutputParamNames(names);
  return names;
}

// The i-th account of the call's profile in the parameters it fixes, and
// the profile's sender where the call gives none: UTF-8, as the store
// holds them.
void UseAccount(const CProfileCall &profile, int i, CSecretString (&p)[kParamCount],
                ParamText (&form)[kParamCount]) {
  const CProfileAccount &account = profile.Account(i);
  p[kServer].assign(account.server.data(), account.server.size());
  p[kPort] = account.port != 0 ? std::to_string(account.port).c_str() : "";
  p[kUser] = account.user;
  p[kPwd] = account.secret;
  for (Param fixed : {kServer, kPort, kUser, kPwd}) form[fixed] = ParamText::kUtf8;
  if (p[kFrom].empty()) {
    p[kFrom].assign(profile.Profile().from.data(), profile.Profile().from.size());
    form[kFrom] = ParamText::kUtf8;
  }
}

// The options of the send, read through the option table, applied to the
// mail over the limits and TLS settings it came with: those of the call,
// and with a profile those of its i-th account for what the call leaves
// empty ("@timeout") or may not give.
void Configure(const CXpParams &params, const CProfileCall &profile, int i, bool hasUser,
               const CTlsSettings &baseTls, const CSmtpTimeouts &baseTimeouts, CSmtpMail &mail,
               CCallOptions &options, CReportForms *forms = nullptr) {
  options = CCallOptions();
  auto read = [&](const char *name, std::string &value) {
    ParamText optionText = ParamText::kBytes;
    params.GetParam(name, kByNameOnly, value, &optionText);
    RefuseUnreadable(name, optionText);
    if (forms != nullptr) forms->Note(name, optionText);
    if (value.empty() && profile.Named())
      if (const std::string *fixed = profile.Option(i, name)) value = *fixed;
  };
  if (const char *refusal = ReadCallOptions(read, hasUser, options))
    throw CRequestFailure(refusal);
  // The trust roots stay those the mail came with (tests give their own).
  CTlsSettings tls = baseTls;
  ApplyTls(options, tls);
  mail.SetTls(tls);
  CSmtpTimeouts timeouts = baseTimeouts;
  ApplyTimeout(options, timeouts);
  mail.SetTimeouts(timeouts);
  mail.SetAuthMechanism(options.auth);
}

// The profile's accounts in order, the same message through each until
// one delivers. Once the end of data has gone to a server the mail may
// have been delivered: nothing is tried after it, since a second copy is
// worse than a failure.
void DeliverThroughAccounts(const CXpParams &params, const CProfileCall &profile,
                            const CTlsSettings &baseTls, const CSmtpTimeouts &baseTimeouts,
                            CSmtpMail &mail, CCallOptions &options,
                            CSecretString (&p)[kParamCount], ParamText (&form)[kParamCount],
                            TextSource (&source)[kParamCount]) {
  std::string last;
  int tried = 0;
  for (int i = 0; i < profile.Accounts(); ++i) {
    try {
      if (i > 0) {
        UseAccount(profile, i, p, form);
        std::string server(p[kServer].data(), p[kServer].size());
        source[kServer] = SourceOf(form[kServer]);
        if (!ToSystemName(server, source[kServer]))
          throw CRequestFailure(std::string(kParamNames[kServer]) + kTextOutsideCodePage);
        p[kServer].assign(server.data(), server.size());
        Configure(params, profile, i, !p[kUser].empty(), baseTls, baseTimeouts, mail, options);
      }
      ++tried;
      if (CTraceSink *trace = mail.GetTrace()) trace->Trace(profile.TraceLine(i));
      Deliver(mail, options, p, source);
      return;
    } catch (const CRequestFailure &failure) {
      // A client that gave up has given up on every account.
      if (CancelAsked(mail.GetCancel())) throw;
      last = failure.Text();
      if (mail.GetSendOutcome().endOfDataSent) break;
    }
  }
  throw CRequestFailure(tried > 1 ? AccountsFailedText(ClientText(profile.Name(), TextSource::kUtf8),
                                                       tried, last)
                                  : last);
}

void Fill(CXPData *srvproc, CSmtpMail &mail, CSecretString (&p)[kParamCount], CClientTrace &trace,
          CCallReport &report) {
  // The one listing of the call's parameters: every look-up below is a
  // search of it.
  CXpParams params(srvproc);
  report.Prepare(srvproc, params);
  const std::string unknown = UnknownParamText(params, KnownNames());
  CProfileCall profile(params);
  if (params.Count() < kMinimumParams && !profile.Named()) throw CRequestFailure(kUsage);
  if (!unknown.empty()) throw CRequestFailure(unknown);

  ParamText form[kParamCount] = {};
  for (int i = 0; i < kParamCount; ++i) {
    params.GetParam(kParamNames[i], i + 1, p[i], &form[i]);
    RefuseUnreadable(kParamNames[i], form[i]);
  }
  // The store's policy, and the profile the call names.
  if (std::string refusal = profile.Prepare(params, srvproc); !refusal.empty())
    throw CRequestFailure(refusal);
  if (profile.Named()) UseAccount(profile, 0, p, form);

  Require(p[kServer], "@server can not be empty.");
  Require(p[kRecipients], "@recipients can not be empty.");
  Require(p[kFrom], "@from can not be empty.");
  RefuseNul(p);
  TextSource source[kParamCount];
  for (int i = 0; i < kParamCount; ++i) source[i] = SourceOf(form[i]);
  ToSystemNames(p, source);

  CCallOptions options;
  const CTlsSettings baseTls = mail.GetTls();
  const CSmtpTimeouts baseTimeouts = mail.GetTimeouts();
  CReportForms forms;
  Configure(params, profile, 0, !p[kUser].empty(), baseTls, baseTimeouts, mail, options, &forms);
  if (options.trace) {
    trace.Trace(TraceHeadline());
    mail.SetTrace(&trace);
  }

  // Each text is converted, and labelled, by what it arrived as: a call
  // may mix 8-bit and Unicode values.
  CheckEntries(mail,
               mail.SetFrom(p[kFrom].c_str(), CodePageOf(form[kFrom]), SourceOf(form[kFrom])),
               "@from", form[kFrom]);
  CheckEntries(mail,
               mail.SetTo(p[kRecipients].c_str(), CodePageOf(form[kRecipients]),
                          SourceOf(form[kRecipients])),
               "@recipients", form[kRecipients]);
  // A list of empty entries only (";") names no recipient.
  Require(mail.m_to, "@recipients can not be empty.");
  if (!p[kCopy].empty())
    CheckEntries(mail,
                 mail.SetCc(p[kCopy].c_str(), CodePageOf(form[kCopy]), SourceOf(form[kCopy])),
                 "@copy_recipients", form[kCopy]);
  if (!p[kBlindCopy].empty())
    CheckEntries(mail, mail.SetBcc(p[kBlindCopy].c_str(), SourceOf(form[kBlindCopy])),
                 "@blind_copy_recipients", form[kBlindCopy]);
  if (!p[kSubject].empty())
    Check(mail.SetSubject(p[kSubject].c_str(), CodePageOf(form[kSubject]), SourceOf(form[kSubject])),
          "@subject");
  if (p[kType].empty()) p[kType] = "text/plain";
  if (!p[kMessage].empty())
    Check(mail.SetBody(p[kMessage].c_str(), static_cast<int>(p[kMessage].size()), p[kType].c_str(),
                       // A table of rows is UTF-8, and so the body it joins.
                       options.RowsInBody() ? kUtf8CodePage : CodePageOf(form[kMessage]),
                       SourceOf(form[kMessage])),
          "@message");
  // The body holds the text now: the value goes, so that it is held once.
  CSecretString().swap(p[kMessage]);
  // The name in this message is spelled as callers have always seen it.
  if (!p[kAttachments].empty()) {
    // The policy's folders, before the mail opens anything.
    const std::string refused = CheckAttachments(
        profile.Policy(), std::string(p[kAttachments].data(), p[kAttachments].size()),
        source[kAttachments]);
    if (!refused.empty()) throw CRequestFailure(refused);
    Check(mail.SetAttachments(p[kAttachments].data(), source[kAttachments]), "@attachements");
  }
  if (!options.rows.empty()) {
    const HResult rows =
        mail.SetRows(std::move(options.rows), SourceOf(forms.rows), p[kType].c_str(),
                     options.rowsAttachment.c_str(), SourceOf(forms.rowsAttachment));
    if (rows == kRefusedRows) throw CRequestFailure(RowsRefusalText(mail.GetRowsFault()));
    Check(rows, "@rows");
  }
  if (!options.replyTo.empty())
    CheckEntries(mail,
                 mail.SetReplyTo(options.replyTo.c_str(), CodePageOf(forms.replyTo),
                                 SourceOf(forms.replyTo)),
                 "@reply_to", forms.replyTo);
  mail.SetMarks(options.importance, options.sensitivity);
  if (!profile.Named()) return Deliver(mail, options, p, source);
  DeliverThroughAccounts(params, profile, baseTls, baseTimeouts, mail, options, p, form, source);
}

}  // namespace

int ParsePort(std::string_view text) {
  if (text.empty()) return kDefaultPort;
  // The text as the C library sees it: it ends at the first zero byte.
  std::size_t i = 0;
  auto at = [&text](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (at(i) == ' ' || (at(i) >= '\t' && at(i) <= '\r')) ++i;
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') negative = at(i++) == '-';
  // No range check, as the C library's conversion; wrap-around rather than
  // undefined overflow for absurd inputs.
  std::uint32_t n = 0;
  for (; at(i) >= '0' && at(i) <= '9'; ++i) n = n * 10u + static_cast<std::uint32_t>(at(i) - '0');
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

bool RunRequestWith(CXPData *srvproc, CSmtpMail &mail) {
  // Wiped when freed, on every way out: "@pwd" is among them, and one type
  // for all keeps the reading one loop.
  CSecretString p[kParamCount];
  CClientTrace trace(srvproc);
  CCallReport report;
  // Never throws (call_report.h): a sent mail is reported sent.
  auto setOutputs = [&](const char *error) {
    report.SetOutputs(srvproc, mail.m_messageId, mail.GetSendOutcome().serverReply, error);
  };
  // Every wait of the call asks whether the client has given up on it.
  CClientCancel cancel(srvproc);
  CCancelHold hold(mail, &cancel);
  try {
    Fill(srvproc, mail, p, trace, report);
    mail.SetTrace(nullptr);
    setOutputs(nullptr);
    ReplySuccess(srvproc);
    return true;
  } catch (const CRequestFailure &failure) {
    mail.SetTrace(nullptr);
    setOutputs(failure.Text().c_str());
    ReplyFailure(srvproc, kTextLine, failure.Text().c_str(), report.Severity());
  } catch (...) {
    mail.SetTrace(nullptr);
    setOutputs(kUnknownError);
    ReplyFailure(srvproc, kUnknownLine, kUnknownError, report.Severity());
  }
  return false;
}

void ReplyUnknownFailure(CXPData *srvproc) { ReplyFailure(srvproc, kUnknownLine, kUnknownError); }

bool RunRequest(CXPData *srvproc) {
  CComGuard com;
  try {
    CSmtpMail mail;
    return RunRequestWith(srvproc, mail);
  } catch (...) {
    // Only the mail's construction can get here (no memory).
    ReplyFailure(srvproc, kUnknownLine, kUnknownError);
    return false;
  }
}
