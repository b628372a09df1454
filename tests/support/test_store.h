// The profile store of a test: on Linux a configuration folder of its own
// (XDG_CONFIG_HOME, restored when the object goes), on Windows the
// registry of the test's account, where the test uses profile names of
// its own (UniqueProfileName) and removes them.
#ifndef MAILVANE_TESTS_SUPPORT_TEST_STORE_H
#define MAILVANE_TESTS_SUPPORT_TEST_STORE_H

#include <string>

#include "tests/support/temp_files.h"

class CTestStore {
 public:
  CTestStore();
  ~CTestStore();
  CTestStore(const CTestStore &) = delete;
  CTestStore &operator=(const CTestStore &) = delete;

  // The store's file (Linux), or "" (Windows).
  std::string File() const;

 private:
  CTempDir m_folder;
  std::string m_saved;
  bool m_hadSaved = false;
};

// A profile name no other process's test uses: the suffix after this
// process's id.
std::string UniqueProfileName(const std::string &suffix);

#endif
