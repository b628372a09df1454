// The Linux store's file: one that cannot be read as a store fails every
// change with a text and is left byte for byte as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "profile/profile_store.h"
#include "tests/support/test_store.h"

TEST(ProfileStoreFile, AnUnreadableStoreIsNeverOverwritten) {
  CTestStore test;
  std::string text;
  auto put = [](CProfileStore &store, CStoreChange &change, std::string &) {
    CProfile p;
    p.name = "a";
    p.allow = "public";
    CProfileAccount a;
    a.server = "s";
    p.SetAccount(a);
    store.Put(p);
    change.profile = "a";
    return true;
  };
  ASSERT_TRUE(UpdateProfileStore(put, text)) << text;
  const std::string broken = "{\"mailvane_profiles\":1,\"profiles\":[{\"na";
  std::ofstream(test.File(), std::ios::binary | std::ios::trunc) << broken;
  EXPECT_FALSE(UpdateProfileStore(put, text));
  EXPECT_EQ(text, "The profile store " + test.File() +
                      " holds no profiles that can be read; it is left as it is");
  std::ostringstream kept;
  kept << std::ifstream(test.File(), std::ios::binary).rdbuf();
  EXPECT_EQ(kept.str(), broken);
  struct stat st;
  ASSERT_EQ(stat(test.File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
