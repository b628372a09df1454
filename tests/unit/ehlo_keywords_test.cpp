// Finding a service extension keyword in an EHLO reply, whole and split
// across receives at every offset.
#include <gtest/gtest.h>

#include <string>

#include "smtp/ehlo_keywords.h"

namespace {

struct Row {
  const char *reply;
  bool found;
};

const Row kRows[] = {
    {"250-mail.example.com\r\n250-STARTTLS\r\n250 SIZE 100\r\n", true},
    {"250-mail.example.com\r\n250 STARTTLS\r\n", true},
    {"250-mail.example.com\r\n250-starttls\r\n250 OK\r\n", true},
    {"250-mail.example.com\r\n250-StartTls some-parameter\r\n250 OK\r\n", true},
    {"250-mail.example.com\n250-STARTTLS\n250 OK\n", true},
    {"250-mail.example.com\r\n250-AUTH PLAIN LOGIN\r\n250 SIZE 100\r\n", false},
    // Only the keyword itself counts: not a longer one, a prefix or a word
    // later in the line.
    {"250-mail.example.com\r\n250-STARTTLSX\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n250-STARTTL\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n250-AUTH STARTTLS\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n250-X-STARTTLS\r\n250 OK\r\n", false},
    {"250 STARTTLS-is-not-here\r\n", false},
    // A line that is no reply line.
    {"250-mail.example.com\r\nSTARTTLS\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n25X-STARTTLS\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n250_STARTTLS\r\n250 OK\r\n", false},
    {"", false},
};

bool FoundWhole(const std::string &reply) {
  CEhloKeywordScanner scanner("STARTTLS");
  scanner.Feed(reply.data(), reply.size());
  return scanner.Found();
}

TEST(EhloKeywords, WholeReplies) {
  for (const Row &row : kRows) EXPECT_EQ(FoundWhole(row.reply), row.found) << row.reply;
}

TEST(EhloKeywords, RepliesSplitAtEveryOffsetPair) {
  for (const Row &row : kRows) {
    std::string reply = row.reply;
    for (std::size_t i = 0; i <= reply.size(); ++i) {
      for (std::size_t j = i; j <= reply.size(); ++j) {
        CEhloKeywordScanner scanner("STARTTLS");
        scanner.Feed(reply.data(), i);
        scanner.Feed(reply.data() + i, j - i);
        scanner.Feed(reply.data() + j, reply.size() - j);
        ASSERT_EQ(scanner.Found(), row.found) << row.reply << " split at " << i << "," << j;
      }
    }
  }
}

TEST(EhloKeywords, EmptyKeywordIsNeverFound) {
  CEhloKeywordScanner scanner("");
  std::string reply = "250-host\r\n250-\r\n250 \r\n";
  scanner.Feed(reply.data(), reply.size());
  EXPECT_FALSE(scanner.Found());
}

TEST(EhloKeywords, LongLinesAreHarmless) {
  std::string reply = "250-host\r\n250-" + std::string(100000, 'A') + "\r\n250 STARTTLS\r\n";
  EXPECT_TRUE(FoundWhole(reply));
}

}  // namespace
