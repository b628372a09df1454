#include "tests/support/test_store.h"

#include <windows.h>

// The registry serves: the names keep tests apart.
CTestStore::CTestStore() = default;
CTestStore::~CTestStore() = default;

std::string CTestStore::File() const { return std::string(); }

std::string UniqueProfileName(const std::string &suffix) {
  return "t" + std::to_string(GetCurrentProcessId()) + "-" + suffix;
}
