// The AUTH step (RFC 4954): the mechanism asked for, or the one the EHLO
// offer allows, run through the exchange its row in sasl_mechanisms.h
// describes.
//
// The exchange: the AUTH command (with the first response when the
// mechanism's row allows it and it fits), then one response after each 334, until 235 accepts. A 334 after
// the last response is the server's error challenge: a mechanism that
// knows one answers it once and then takes the final reply, so a refused
// token ends in the server's own code (535) and never in a wait; for any
// other mechanism it is a refusal. Whatever fails closes the connection.
//
// Secrets: the AUTH line and every response line are CSecretString
// buffers; replies never hold one. A trace shows the AUTH verb and the
// mechanism, and kCredentialsHidden for everything after them: an initial
// response, each response (a LOGIN user name too) and the answer to an
// error challenge.
#include <string>
#include <string_view>

#include "mail/secret_string.h"

#include "smtp/reply.h"
#include "smtp/sasl_mechanisms.h"
#include "smtp/session.h"
#include "smtp/transport_texts.h"

namespace {

// 512: the command line limit of RFC 4954 section 4 (with RFC 5321
// section 4.5.3.1.4), CR LF included; a longer initial response waits for
// the 334.
constexpr std::size_t kMaxAuthLine = 512;

constexpr char kAuthVerb[] = "AUTH ";
constexpr char kCrLf[] = "\r\n";
constexpr char kAuthContinue[] = "334";
constexpr char kAuthAccepted[] = "235";
constexpr char kAuthStep[] = "AUTH";
// The first digit of a permanent negative reply (RFC 5321 section 4.2.1):
// the server refuses these credentials, and would again.
constexpr char kPermanentFailure = '5';

// The offered mechanisms, cut as the offer keeps them, fit the text.
static_assert(sizeof kTextNoMechanism + kMaxOfferedText + sizeof "..." <= kTextSize,
              "the list of offered mechanisms fits its text");

}  // namespace

bool CSmtpSession::AuthPlain(std::string_view user, std::string_view password) {
  return Authenticate(AuthMechanism::kPlain, user, password);
}

bool CSmtpSession::Authenticate(AuthMechanism asked, std::string_view user,
                                std::string_view secret) {
  if (!m_connection.IsConnected()) {
    SetText(kTextNotConnected);
    return false;
  }
  const CSaslMechanism *mechanism = asked == AuthMechanism::kChoose ? ChooseSaslMechanism(m_offer)
                                                                    : FindSaslMechanism(asked);
  if (mechanism == nullptr) {
    SetText(FormatText(kTextNoMechanism, m_offer.OfferedText()));
    m_connection.Abort();
    return false;
  }
  CSaslResponses responses;
  const bool built =
      mechanism->build({user, secret, m_connection.ServerName(), m_connection.Port()}, responses);
  if (!built && !mechanism->sizedAfterChallenge) {
    SetText(FormatText(kTextCredentialsTooLong, mechanism->name));
    m_connection.Abort();
    return false;
  }

  const std::string verb = std::string(kAuthVerb) + mechanism->name;
  const bool initialAllowed =
      mechanism->initialResponse == InitialResponse::kAlways ||
      (mechanism->initialResponse == InitialResponse::kWithPipelining && m_offer.pipelining);
  const bool initial = built && initialAllowed && responses.Count() > 0 &&
                       verb.size() + 1 + responses.Line(0).size() <= kMaxAuthLine;
  CSecretString command;
  command.reserve(verb.size() + 1 + (initial ? responses.Line(0).size() : sizeof kCrLf));
  command += verb;
  if (initial) {
    command += ' ';
    command += responses.Line(0);
  } else {
    command += kCrLf;
  }
  std::size_t next = initial ? 1 : 0;
  const std::string errorLine =
      mechanism->errorAnswer != nullptr ? std::string(mechanism->errorAnswer) + kCrLf : "";
  bool challenged = false;

  std::string shownCommand;
  if (m_connection.Tracing()) shownCommand = initial ? verb + " " + kCredentialsHidden : verb;

  std::string_view line = command;
  const char *shown = shownCommand.c_str();
  const int limitMs = m_connection.GetTimeouts().replyMs;
  char reply[kReplyCapacity];
  for (;;) {
    CCommandResult result =
        m_connection.Exchange(line.data(), line.size(), reply, {limitMs}, shown);
    shown = kCredentialsHidden;
    if (result.Ok()) {
      const bool allSent = built && next == responses.Count();
      if (allSent && result.code.Is(kAuthAccepted)) return true;
      if (built && result.code.Is(kAuthContinue)) {
        if (next < responses.Count()) {
          line = responses.Line(next++);
          continue;
        }
        if (mechanism->errorAnswer != nullptr && !challenged) {
          challenged = true;
          line = errorLine;
          continue;
        }
      }
      result.outcome = CommandOutcome::kRefused;
      m_authRefused = result.code.Text()[0] == kPermanentFailure;
    }
    m_connection.FailCommand(result, kAuthStep);
    m_connection.Abort();
    return false;
  }
}
