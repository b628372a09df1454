#include "profile/profile.h"

#include <algorithm>
#include <utility>

#include "charset/ascii_case.h"

namespace {

// The order of the list: by name, ASCII letters without case.
bool NameBefore(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

}  // namespace

bool SameProfileName(std::string_view a, std::string_view b) { return SameAsciiText(a, b); }

CProfileAccount *CProfile::Account(int number) {
  for (CProfileAccount &a : accounts)
    if (a.number == number) return &a;
  return nullptr;
}

void CProfile::SetAccount(CProfileAccount account) {
  if (CProfileAccount *same = Account(account.number)) {
    *same = std::move(account);
    return;
  }
  auto at = std::find_if(accounts.begin(), accounts.end(),
                         [&](const CProfileAccount &a) { return a.number > account.number; });
  accounts.insert(at, std::move(account));
}

CProfile *CProfileStore::Find(std::string_view name) {
  for (CProfile &p : profiles)
    if (SameProfileName(p.name, name)) return &p;
  return nullptr;
}

const CProfile *CProfileStore::Find(std::string_view name) const {
  return const_cast<CProfileStore *>(this)->Find(name);
}

void CProfileStore::Put(CProfile profile) {
  Remove(profile.name);
  auto at = std::find_if(profiles.begin(), profiles.end(),
                         [&](const CProfile &p) { return NameBefore(profile.name, p.name); });
  profiles.insert(at, std::move(profile));
}

bool CProfileStore::Remove(std::string_view name) {
  auto at = std::find_if(profiles.begin(), profiles.end(),
                         [&](const CProfile &p) { return SameProfileName(p.name, name); });
  if (at == profiles.end()) return false;
  profiles.erase(at);
  return true;
}
