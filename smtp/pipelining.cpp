// The transaction of a server that offers PIPELINING (RFC 2920): MAIL
// FROM, every RCPT TO and DATA are written together, then their replies
// are read in order and judged one by one as the step-by-step dialogue
// judges them (MAIL and DATA by code, RCPT by number), so that a mail to
// many recipients costs one round trip instead of one per command.
//
// The first refusal is the reason the send fails, with the text the
// step-by-step dialogue gives it; every reply is still read, as the
// server sends one for each command. If DATA was nevertheless answered
// with 354 the server waits for a message: the connection is closed
// without the end of data, which alone makes a server process the
// transaction (RFC 5321 section 4.1.1.4), so nothing is delivered to
// anyone; a lone "." would deliver an empty message. Otherwise RSET withdraws the
// transaction after a refused recipient or DATA, as it does step by step.
//
// Envelope elements are checked before anything is written: one that does
// not fit its command or holds a line break fails the send with nothing
// sent. Commands go out through the connection's WriteCommands, each group
// only when no bytes out of turn wait, and replies come in through its
// ReadReply, each reply bounded as reply_reader.h says.
#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "smtp/envelope.h"
#include "smtp/reply.h"
#include "smtp/session.h"
#include "smtp/transport_texts.h"

namespace {

constexpr char kDataCommand[] = "DATA\r\n";
constexpr char kOk[] = "250";
constexpr char kStartData[] = "354";

// Commands per write. A client that writes without reading can stall
// against a server whose replies fill both ends' buffers while it waits
// for them to be read; the replies to this many commands fit those
// buffers many times over. A longer envelope goes out in groups, each
// written after the replies to the one before have been read.
constexpr std::size_t kMaxCommandsPerWrite = 100;

enum class Verb { kMail, kRcpt, kData };

struct CQueuedCommand {
  Verb verb;
  std::string line;
};

const char *StepName(Verb verb) {
  switch (verb) {
    case Verb::kMail:
      return "MAIL";
    case Verb::kRcpt:
      return "RCPT";
    case Verb::kData:
      return "DATA";
  }
  return "";
}

bool Accepts(Verb verb, const CReplyCode &code) {
  switch (verb) {
    case Verb::kMail:
      return code.Is(kOk);
    case Verb::kRcpt:
      return code.AcceptsRecipient();
    case Verb::kData:
      return code.Is(kStartData);
  }
  return false;
}

}  // namespace

bool CSmtpSession::SendEnvelopePipelined(const char *mailCommand, std::size_t length,
                                         CSmtpMail &mail) {
  std::vector<char> list;
  if (!BuildEnvelope(mail, &list)) return false;
  std::vector<CQueuedCommand> commands;
  commands.push_back({Verb::kMail, std::string(mailCommand, length)});
  CEnvelopeElements elements(list.data());
  std::string element;
  for (;;) {
    CEnvelopeElements::Result next = elements.Next(element);
    if (next == CEnvelopeElements::kEnd) break;
    if (next == CEnvelopeElements::kTooLong) {
      SetText(kTextRecipientTooLong);
      return false;
    }
    std::string command;
    if (!RecipientCommand(element, &command)) return false;
    commands.push_back({Verb::kRcpt, std::move(command)});
  }
  // DATA ends the last group: its reply changes the state of the dialogue
  // (RFC 2920 section 3.1).
  commands.push_back({Verb::kData, kDataCommand});

  const CSmtpTimeouts &limits = m_connection.GetTimeouts();
  char reply[kReplyCapacity];
  bool refused = false;
  Verb refusedVerb = Verb::kMail;
  bool dataStarted = false;
  for (std::size_t first = 0; first < commands.size() && !refused;) {
    const std::size_t end = commands.size() - first > kMaxCommandsPerWrite
                                ? first + kMaxCommandsPerWrite
                                : commands.size();
    std::string group;
    for (std::size_t i = first; i < end; ++i) group += commands[i].line;
    CCommandResult result = m_connection.WriteCommands(group.data(), group.size());
    if (!result.Ok()) {
      m_connection.FailCommand(result, StepName(commands[first].verb));  // closes
      return false;
    }
    for (std::size_t i = first; i < end; ++i) {
      const Verb verb = commands[i].verb;
      result = m_connection.ReadReply(
          reply, {verb == Verb::kData ? limits.dataReplyMs : limits.replyMs});
      if (!result.Ok()) {
        // The dialogue is lost; a refusal before it stays the reason.
        if (!refused) m_connection.FailCommand(result, StepName(verb));
        m_connection.Abort();
        return false;
      }
      const bool accepted = Accepts(verb, result.code);
      if (verb == Verb::kData) dataStarted = accepted;
      if (accepted || refused) continue;
      refused = true;
      refusedVerb = verb;
      result.outcome = CommandOutcome::kRefused;
      m_connection.FailCommand(result, StepName(verb));
    }
    first = end;
  }
  if (!refused) return true;
  if (dataStarted) {
    m_connection.Abort();
  } else if (refusedVerb != Verb::kMail) {
    Reset();
  }
  return false;
}
