// The server-wide policy of the profile store, as calls obey it:
// require_profile ('yes': a call without "@profile" is refused),
// attachment_folders (folders separated by ";": an attachment whose full
// path lies outside them is refused; empty: no limit) and allow_unc ('no',
// the default once attachment_folders is set: a name that reaches a
// share, \\server\share or \\?\..., is refused before the system opens it,
// since opening one makes the server authenticate to that host with its
// own account). The checks run before anything is sent.
#ifndef MAILVANE_PROC_PROFILE_POLICY_H
#define MAILVANE_PROC_PROFILE_POLICY_H

#include <string>

#include "charset/text_source.h"
#include "profile/profile.h"

inline constexpr char kPolicyRequireProfile[] = "require_profile";
inline constexpr char kPolicyAttachmentFolders[] = "attachment_folders";
inline constexpr char kPolicyAllowUnc[] = "allow_unc";

bool RequiresProfile(const CProfilePolicy &policy);
bool AllowsUnc(const CProfilePolicy &policy);

// The refusal of the attachment list (";"-separated names of source, as
// the call gave them), or "" when every name may be attached.
std::string CheckAttachments(const CProfilePolicy &policy, const std::string &list,
                             TextSource source);

// Sets the policy named (compared without case) to value, after its rules;
// null, or the refusal text.
const char *SetPolicyValue(CProfilePolicy &policy, const std::string &name,
                           const std::string &value);

#endif
