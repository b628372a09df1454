// Which SASL mechanism a send authenticates with (RFC 4954). kChoose reads
// the AUTH keyword of the EHLO reply: PLAIN when it is offered or when the
// reply names no mechanism at all, else LOGIN when offered, else none (the
// send fails before any credential is written). The others are sent as
// asked, whatever the server announced.
#ifndef MAILVANE_MAIL_AUTH_MECHANISM_H
#define MAILVANE_MAIL_AUTH_MECHANISM_H

enum class AuthMechanism {
  kChoose,
  kPlain,        // RFC 4616
  kLogin,        // the user name and password in two 334 rounds
  kXOAuth2,      // a bearer token, in the form the large mail providers take
  kOAuthBearer,  // RFC 7628
};

#endif
