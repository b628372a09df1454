#include "tests/support/test_store.h"

#include <stdlib.h>
#include <unistd.h>

namespace {
constexpr char kVariable[] = "XDG_CONFIG_HOME";
}  // namespace

CTestStore::CTestStore() {
  if (const char *saved = getenv(kVariable)) {
    m_saved = saved;
    m_hadSaved = true;
  }
  setenv(kVariable, m_folder.Root().string().c_str(), 1);
}

CTestStore::~CTestStore() {
  if (m_hadSaved)
    setenv(kVariable, m_saved.c_str(), 1);
  else
    unsetenv(kVariable);
}

std::string CTestStore::File() const { return (m_folder.Root() / "mailvane" / "profiles.json").string(); }

std::string UniqueProfileName(const std::string &suffix) {
  return "t" + std::to_string(getpid()) + "-" + suffix;
}
