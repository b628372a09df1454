#include "proc/tls_options.h"

namespace {

bool SameText(const std::string &value, const char *lower) {
  std::size_t i = 0;
  for (; i < value.size() && lower[i] != '\0'; ++i) {
    char c = value[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return i == value.size() && lower[i] == '\0';
}

}  // namespace

const char *ApplyTlsOptions(const std::string &tls, const std::string &verify,
                            CTlsSettings &settings) {
  TlsMode mode;
  if (tls.empty())
    mode = TlsMode::kNone;
  else if (SameText(tls, "starttls"))
    mode = TlsMode::kStartTls;
  else if (SameText(tls, "implicit"))
    mode = TlsMode::kImplicit;
  else
    return kTextBadTls;
  bool check;
  if (verify.empty() || SameText(verify, "yes"))
    check = true;
  else if (SameText(verify, "no"))
    check = false;
  else
    return kTextBadTlsVerify;
  settings.mode = mode;
  settings.verify = check;
  return nullptr;
}
