// The profile store: its document read back as written and refused when it
// is anything else, and changes of many threads at once that leave a
// store which reads whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/threads.h"
#include "profile/profile_store.h"
#include "profile/store_document.h"
#include "tests/support/test_store.h"

namespace {

CProfileStore Sample() {
  CProfileStore store;
  store.policy.requireProfile = "yes";
  store.policy.attachmentFolders = "D:\\Reports;/srv/out";
  CProfile p;
  p.name = "alerts \xc3\xa9t\xc3\xa9";
  p.from = "Alerts <alerts@example.com>";
  p.allow = "DOMAIN\\ops;sa";
  CProfileAccount a;
  a.number = 2;
  a.server = "smtp2.example.com";
  a.port = 587;
  a.tls = "starttls";
  a.user = "me@example.com";
  a.secret = "s\"e\\cr\xc3\xa9t";
  a.oauthTokenUrl = "https://login.example.com/t";
  p.SetAccount(a);
  a.number = 1;
  a.port = 0;
  a.secret.clear();
  p.SetAccount(a);
  store.Put(p);
  return store;
}

TEST(ProfileStore, TheDocumentReadsBackAsWrittenAndNothingElseReads) {
  CSecretString text;
  int error = 0;
  ASSERT_TRUE(WriteStoreDocument(Sample(), true, text, error));
  CProfileStore read;
  ASSERT_EQ(ReadStoreDocument(text, false, read, error), DocumentRead::kOk);
  ASSERT_EQ(read.profiles.size(), 1u);
  const CProfile &p = read.profiles[0];
  EXPECT_EQ(p.from, "Alerts <alerts@example.com>");
  ASSERT_EQ(p.accounts.size(), 2u);
  EXPECT_EQ((std::vector<int>{p.accounts[0].number, p.accounts[1].number}), (std::vector<int>{1, 2}));
  EXPECT_EQ(p.accounts[1].secret, "s\"e\\cr\xc3\xa9t");
  EXPECT_EQ((std::vector<int>{p.accounts[0].port, p.accounts[1].port}), (std::vector<int>{0, 587}));
  EXPECT_EQ(read.policy.attachmentFolders, "D:\\Reports;/srv/out");
  EXPECT_NE(read.Find("ALERTS \xc3\xa9t\xc3\xa9"), nullptr);

  const std::string account = R"({"account":1,"server":"s"})";
  for (const std::string &bad : std::vector<std::string>{
           "", "[]", R"({"profiles":[]})", R"({"mailvane_profiles":2,"profiles":[]})",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","accounts":[]}]})",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","accounts":[{"account":9,"server":"s"}]}]})",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","accounts":[)" + account + "," +
               account + "]}]}",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","accounts":[)" + account +
               R"(]},{"name":"A","accounts":[)" + account + "]}]}",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","colour":"red","accounts":[)" +
               account + "]}]}",
           R"({"mailvane_profiles":1,"profiles":[{"name":"a","accounts":[{"account":1,"server":"s","port":70000}]}]})",
           "{\"mailvane_profiles\":1,\"policy\":{\"allow_unc\":\"\xff\"}}",
       }) {
    CSecretString bytes(bad.data(), bad.size());
    EXPECT_EQ(ReadStoreDocument(bytes, false, read, error), DocumentRead::kMalformed) << bad;
  }
}

// Each thread changes its own profile over and over while all read the
// whole store: every read is whole, and each profile ends as its last
// change left it.
TEST(ProfileStore, EightThreadsChangingAndReadingLeaveAWholeStore) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 12;
  CTestStore test;
  std::vector<CThread> threads(kThreads);
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t)
    ASSERT_TRUE(threads[static_cast<std::size_t>(t)].Start([t, &failures] {
      const std::string name = UniqueProfileName("thread" + std::to_string(t));
      for (int round = 0; round < kRounds; ++round) {
        const std::string server = "s" + std::to_string(t) + "-" + std::to_string(round);
        std::string text;
        bool ok = UpdateProfileStore(
            [&](CProfileStore &store, CStoreChange &change, std::string &) {
              CProfile p;
              p.name = name;
              p.allow = "public";
              CProfileAccount a;
              a.server = server;
              a.secret = "secret";
              p.SetAccount(a);
              store.Put(p);
              change.profile = name;
              return true;
            },
            text);
        CProfileStore read;
        ok = ok && LoadProfileStore(read, text) && read.Find(name) != nullptr &&
             read.Find(name)->accounts[0].server == server;
        if (!ok) ++failures[static_cast<std::size_t>(t)];
      }
    }));
  for (CThread &thread : threads) thread.Join();
  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
  CProfileStore read;
  std::string text;
  ASSERT_TRUE(LoadProfileStore(read, text)) << text;
  for (int t = 0; t < kThreads; ++t) {
    const std::string name = UniqueProfileName("thread" + std::to_string(t));
    const CProfile *p = read.Find(name);
    ASSERT_NE(p, nullptr) << name;
    EXPECT_EQ(p->accounts[0].server, "s" + std::to_string(t) + "-" + std::to_string(kRounds - 1));
    EXPECT_EQ(p->accounts[0].secret, "secret");
    EXPECT_TRUE(UpdateProfileStore(
        [&](CProfileStore &store, CStoreChange &change, std::string &) {
          change.profile = name;
          return store.Remove(name);
        },
        text))
        << text;
  }
}

}  // namespace
