// The texts of profiles and the policy as callers and administrators see
// them (message 20001 at line 252, as every refusal with a text).
#ifndef MAILVANE_PROC_PROFILE_TEXTS_H
#define MAILVANE_PROC_PROFILE_TEXTS_H

#include <string>

// One text for a profile that does not exist and one the caller's login
// may not use: it tells nothing about which profiles there are.
inline std::string UnknownProfileText(const std::string &name) {
  return "Unknown profile '" + name + "'.";
}

// A caller's own server setting beside "@profile": the profile's secret
// never goes to a server the caller names.
inline std::string GivenWithProfileText(const char *name) {
  return std::string(name) + " can not be given with @profile.";
}

// Every account of a profile was tried, or the tries stopped after the end
// of data had gone to the last one; its own text follows.
inline std::string AccountsFailedText(const std::string &profile, int tried,
                                      const std::string &last) {
  return "Profile '" + profile + "': " + std::to_string(tried) + " accounts tried; the last: " +
         last;
}

inline std::string AccountTraceLine(int number, const std::string &server, int port) {
  return "account " + std::to_string(number) + ": " + server + " port " + std::to_string(port);
}

inline constexpr char kTextProfileRequired[] =
    "A call must name @profile here (policy require_profile).";

inline std::string AttachmentOutsideText(const std::string &path) {
  return "Attachment outside the attachment folders(" + path + ")";
}

inline std::string AttachmentOnShareText(const std::string &path) {
  return "Attachment on a network path refused(" + path + ")";
}

// As the mail itself reports a file it cannot open.
inline std::string AttachmentNotFoundText(const std::string &path, int error) {
  return "Cannot open attachment file(" + path + ")(" + std::to_string(error) + ")";
}

#endif
