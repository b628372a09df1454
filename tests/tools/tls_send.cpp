// tls_send: one mail through the transport with TLS settings the procedure
// cannot be given, for the TLS integration tests: above all a trust file
// of test roots in place of the system's, so that certificate checks run
// against a test authority on every build (Windows has no environment
// setting for its roots).
//
//   tls_send SERVER PORT MODE VERIFY TRUST-FILE FROM TO [USER PASSWORD]
//
// MODE and VERIFY take the values of "@tls" and "@tls_verify"; TRUST-FILE
// "-" means the system's roots. Prints "sent" or the failure text; exit
// status 0 when sent, 1 when not, 2 on wrong arguments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mail/smtp_mail.h"
#include "proc/call_options.h"

int main(int argc, char **argv) {
  if (argc != 8 && argc != 10) {
    std::fprintf(stderr,
                 "usage: tls_send SERVER PORT MODE VERIFY TRUST-FILE FROM TO [USER PASSWORD]\n");
    return 2;
  }
  try {
    CSmtpMail mail;
    CCallOptions options;
    auto read = [argv](const char *name, std::string &value) {
      if (std::string(name) == "@tls") value = argv[3];
      if (std::string(name) == "@tls_verify") value = argv[4];
    };
    if (const char *refusal = ReadCallOptions(read, argc == 10, options)) {
      std::printf("%s\n", refusal);
      return 1;
    }
    CTlsSettings tls;
    ApplyTls(options, tls);
    if (std::string(argv[5]) != "-") tls.trustFile = argv[5];
    mail.SetTls(tls);
    if (mail.SetFrom(argv[6], 0) != S_OK || mail.SetTo(argv[7], 0) != S_OK ||
        mail.SetSubject("TLS test", 0) != S_OK ||
        mail.SetBody("Sent over TLS.", 14, "text/plain", 0) != S_OK ||
        mail.SetCredentials(argc == 10 ? argv[8] : "", argc == 10 ? argv[9] : "") != S_OK) {
      std::printf("cannot fill the mail\n");
      return 2;
    }
    if (mail.Send(argv[1], std::atoi(argv[2])) == S_OK) {
      std::printf("sent\n");
      return 0;
    }
    std::printf("%s\n", mail.GetLastErrorText().c_str());
    return 1;
  } catch (...) {
    std::printf("exception\n");
    return 2;
  }
}
