#include "proc/param_names.h"

#include <algorithm>
#include <string_view>

#include "charset/ascii_case.h"
#include "proc/client_trace.h"
#include "proc/xp_params.h"

namespace {

constexpr char kTextUnknown[] = "Unknown parameter ";

// Names callers bring from elsewhere, and ours for what they meant.
struct CHint {
  const char *name;
  const char *known;
};

constexpr CHint kHints[] = {
    // SQL Server's own mail feature.
    {"@body", "@message"},
    {"@body_format", "@type"},
    {"@file_attachments", "@attachments"},
    {"@profile_name", "@profile"},
    {"@query", "@rows"},
    {"@from_address", "@from"},
    {"@mailitem_id", "@message_id"},
    // Slips.
    {"@to", "@recipients"},
    {"@cc", "@copy_recipients"},
    {"@bcc", "@blind_copy_recipients"},
    {"@password", "@pwd"},
};

// Edits that still count as a slip: fewer for short names, where two edits
// turn most names into most others.
constexpr std::size_t kMaxEdits = 2;
constexpr std::size_t kShortNameLetters = 4;
constexpr std::size_t kMaxEditsShort = 1;

// The optimal string alignment distance (insertions, deletions,
// substitutions and swaps of neighbours) without regard to ASCII case.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && AsciiLower(a[i - 1]) == AsciiLower(b[j - 2]) &&
          AsciiLower(a[i - 2]) == AsciiLower(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

const char *FindKnown(std::string_view name, const std::vector<const char *> &known) {
  for (const char *k : known)
    if (SameAsciiText(name, k)) return k;
  return nullptr;
}

// The known name the caller most likely meant; null when none is close.
const char *Hint(const std::string &name, const std::vector<const char *> &known) {
  for (const CHint &hint : kHints)
    if (SameAsciiText(name, hint.name)) return FindKnown(hint.known, known);
  const std::size_t letters = name.empty() ? 0 : name.size() - 1;  // without the "@"
  std::size_t best = letters <= kShortNameLetters ? kMaxEditsShort : kMaxEdits;
  const char *closest = nullptr;
  for (const char *k : known) {
    const std::size_t edits = Distance(name, k);
    if (edits <= best && (closest == nullptr || edits < best)) {
      best = edits;
      closest = k;
    }
  }
  return closest;
}

}  // namespace

std::string UnknownParamText(const CXpParams &params, const std::vector<const char *> &known) {
  for (const CXpParam &param : params.All()) {
    if (param.name.empty() || FindKnown(param.name, known) != nullptr) continue;
    std::string text = kTextUnknown + PrintableTraceLine(param.name);
    if (const char *hint = Hint(param.name, known))
      return text + " (did you mean " + hint + "?)";
    return text + ".";
  }
  return std::string();
}
