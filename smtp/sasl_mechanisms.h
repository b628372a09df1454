// The SASL mechanisms of AUTH (RFC 4954), as one table: each row names the
// mechanism as the AUTH command does, builds the client's responses, says
// when the first may ride on the AUTH line, and how an error challenge
// is answered. The dialogue that runs them is in authentication.cpp.
//
// Every response holds a secret (the password or the bearer token): the
// responses live in CSecretString buffers, wiped when they are destroyed,
// and no builder leaves a copy anywhere else.
#ifndef MAILVANE_SMTP_SASL_MECHANISMS_H
#define MAILVANE_SMTP_SASL_MECHANISMS_H

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/auth_mechanism.h"
#include "mail/secret_string.h"
#include "smtp/ehlo_keywords.h"

// What the responses are made of. The secret is the password, or the
// bearer token for the OAuth mechanisms; host and port are the server as
// the caller named it.
struct CSaslInput {
  std::string_view user;
  std::string_view secret;
  std::string_view host;
  int port;
};

// The client's responses of one exchange in the order they are sent, each
// in base64 (never wrapped) followed by CR LF.
class CSaslResponses {
 public:
  static constexpr std::size_t kMaxCount = 2;

  // Encodes length bytes of raw as the next response; false when they are
  // more than maxRaw or the exchange has no room for another response.
  bool Add(const char *raw, std::size_t length, std::size_t maxRaw);
  std::size_t Count() const { return m_count; }
  std::string_view Line(std::size_t i) const { return m_lines[i]; }

 private:
  CSecretString m_lines[kMaxCount];
  std::size_t m_count = 0;
};

// When the first response rides on the AUTH line instead of waiting for
// the server's 334 (RFC 4954 section 4), as long as the line stays within
// its limit.
enum class InitialResponse {
  kNever,
  kAlways,
  // Only where the server also offers PIPELINING: such a server is of the
  // generation that takes it, and saves a round trip; every other server
  // keeps the exchange it has always been sent.
  kWithPipelining,
};

struct CSaslMechanism {
  AuthMechanism id;
  const char *name;  // as the AUTH command names it
  // Builds the responses; false when one is too long to be sent.
  bool (*build)(const CSaslInput &input, CSaslResponses &responses);
  InitialResponse initialResponse;
  // The line (without CR LF) that answers a 334 after the last response:
  // the server's error challenge, which the client must answer before
  // the server gives its final reply. Null: such a 334 is a refusal.
  const char *errorAnswer;
  // A response too long to send is found after the 334 to the AUTH
  // command, and that reply's code is the text: PLAIN as it has always
  // run. The others refuse before anything is sent.
  bool sizedAfterChallenge;
};

// The row of an explicit mechanism; null for kChoose.
const CSaslMechanism *FindSaslMechanism(AuthMechanism id);

// The mechanism a send takes from the server's EHLO offer when none is
// asked for: PLAIN when it is listed or no mechanism is named at all, else
// LOGIN when listed, else none (null). A password is never sent as a
// bearer token, so the OAuth mechanisms are never chosen.
const CSaslMechanism *ChooseSaslMechanism(const CEhloCapabilities &offer);

#endif
