#include "proc/profile_policy.h"

#include <vector>

#include "charset/ascii_case.h"
#include "charset/system_name.h"
#include "proc/full_path.h"
#include "proc/profile_texts.h"

namespace {

constexpr char kYes[] = "yes";
constexpr char kNo[] = "no";

constexpr char kTextBadPolicy[] =
    "@policy must be 'require_profile', 'attachment_folders' or 'allow_unc'.";
constexpr char kTextBadRequireProfile[] = "@value of require_profile must be 'yes' or 'no'.";
constexpr char kTextBadAllowUnc[] = "@value of allow_unc must be 'yes' or 'no'.";
constexpr char kTextBadFolders[] =
    "@value of attachment_folders must be full paths of existing folders, separated by ';'.";

// The entries of a ";"-separated list; empty ones are none.
std::vector<std::string> Entries(const std::string &list) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(';', start);
    std::string entry = list.substr(start, end == std::string::npos ? end : end - start);
    if (!entry.empty()) entries.push_back(std::move(entry));
    if (end == std::string::npos) return entries;
    start = end + 1;
  }
}

// "yes", "no" or "" (the default), as stored.
bool YesNo(const std::string &value, std::string &stored) {
  if (value.empty() || SameAsciiText(value, kYes) || SameAsciiText(value, kNo)) {
    stored = value.empty() ? "" : SameAsciiText(value, kYes) ? kYes : kNo;
    return true;
  }
  return false;
}

// The folders' full paths; those that do not resolve (gone since they
// were set) hold nothing.
std::vector<std::string> FullFolders(const std::string &list) {
  std::vector<std::string> folders;
  for (const std::string &folder : Entries(list)) {
    std::string full;
    int error = 0;
    if (FullPath(folder, TextSource::kUtf8, full, error)) folders.push_back(std::move(full));
  }
  return folders;
}

}  // namespace

bool RequiresProfile(const CProfilePolicy &policy) { return policy.requireProfile == kYes; }

bool AllowsUnc(const CProfilePolicy &policy) {
  if (!policy.allowUnc.empty()) return policy.allowUnc == kYes;
  return policy.attachmentFolders.empty();
}

std::string CheckAttachments(const CProfilePolicy &policy, const std::string &list,
                             TextSource source) {
  const bool unc = AllowsUnc(policy);
  if (policy.attachmentFolders.empty() && unc) return std::string();
  const std::vector<std::string> folders = FullFolders(policy.attachmentFolders);
  // Every name, as the mail splits the list; an empty one the mail refuses.
  for (const std::string &name : Entries(list)) {
    if (!unc && IsNetworkPath(name)) return AttachmentOnShareText(ClientText(name, source));
    if (policy.attachmentFolders.empty()) continue;
    std::string full;
    int error = 0;
    if (!FullPath(name, source, full, error))
      return AttachmentNotFoundText(ClientText(name, source), error);
    if (!unc && FullPathOnShare(full)) return AttachmentOnShareText(ClientText(name, source));
    bool inside = false;
    for (const std::string &folder : folders) inside = inside || PathWithin(full, folder);
    if (!inside) return AttachmentOutsideText(ClientText(name, source));
  }
  return std::string();
}

const char *SetPolicyValue(CProfilePolicy &policy, const std::string &name,
                           const std::string &value) {
  if (SameAsciiText(name, kPolicyRequireProfile))
    return YesNo(value, policy.requireProfile) ? nullptr : kTextBadRequireProfile;
  if (SameAsciiText(name, kPolicyAllowUnc))
    return YesNo(value, policy.allowUnc) ? nullptr : kTextBadAllowUnc;
  if (!SameAsciiText(name, kPolicyAttachmentFolders)) return kTextBadPolicy;
  for (const std::string &folder : Entries(value)) {
    std::string full;
    int error = 0;
    if (!IsFullPathName(folder) || !FullPath(folder, TextSource::kUtf8, full, error))
      return kTextBadFolders;
  }
  policy.attachmentFolders = value;
  return nullptr;
}
