// What an EHLO reply announces, whole and split across receives at every
// offset: STARTTLS, AUTH in both forms with its mechanisms, and the other
// keywords the record keeps; bounded however long the reply.
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
    {"250-STARTTLS=yes\r\n250 OK\r\n", false},
    // A line that is no reply line.
    {"250-mail.example.com\r\nSTARTTLS\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n25X-STARTTLS\r\n250 OK\r\n", false},
    {"250-mail.example.com\r\n250_STARTTLS\r\n250 OK\r\n", false},
    {"", false},
};

// The record as one line: "AUTH(<offered text>)" when there is an AUTH
// keyword, then the other keywords seen.
std::string Describe(const CEhloCapabilities &c) {
  std::string d;
  if (c.auth) d += "AUTH(" + c.OfferedText() + ") ";
  if (c.startTls) d += "STARTTLS ";
  if (c.pipelining) d += "PIPELINING ";
  if (c.eightBitMime) d += "8BITMIME ";
  if (c.size) d += "SIZE=" + std::to_string(c.sizeLimit) + " ";
  return d;
}

struct OfferRow {
  std::string reply;
  std::string record;
};

std::string Names(int count, std::size_t length) {
  std::string list;
  for (int i = 0; i < count; ++i)
    list += " " + std::string(length - 2, 'M') + static_cast<char>('A' + i / 10) +
            static_cast<char>('0' + i % 10);
  return list;
}

const OfferRow kOffers[] = {
    {"250-outlook\r\n250-SIZE 157286400\r\n250-PIPELINING\r\n250-8BITMIME\r\n"
     "250-AUTH LOGIN XOAUTH2\r\n250 CHUNKING\r\n",
     "AUTH(LOGIN XOAUTH2) PIPELINING 8BITMIME SIZE=157286400 "},
    // The older form beside the standard one: one list, each name once.
    {"250-mx\r\n250-AUTH GSSAPI NTLM LOGIN\r\n250 AUTH=LOGIN\r\n", "AUTH(GSSAPI NTLM LOGIN) "},
    {"250-mx\r\n250 AUTH=PLAIN  LOGIN\r\n", "AUTH(PLAIN LOGIN) "},
    {"250-mx\r\n250 auth plain Login\r\n", "AUTH(plain Login) "},
    {"250-mx\r\n250-AUTH\r\n250 SIZE\r\n", "AUTH() SIZE=0 "},
    {"250-AUTHX PLAIN\r\n250-X-AUTH PLAIN\r\n250 PIPELININGS\r\n", ""},
    {"250 AUTH PL\x01IN LO\xC3\x9FIN\r\n", "AUTH(PL?IN LO??IN) "},
    {"250 SIZE 99999999999999999999999\r\n", "SIZE=9999999999999999999 "},
    // Bounds: names cut to 20 characters, 16 names kept, a message shows
    // what fits in 64 characters.
    {"250 AUTH " + std::string(30, 'N') + "\r\n", "AUTH(" + std::string(20, 'N') + ") "},
    {"250 AUTH" + Names(3, 20) + "\r\n", "AUTH(" + Names(3, 20).substr(1) + ") "},
    {"250 AUTH" + Names(4, 20) + "\r\n", "AUTH(" + Names(3, 20).substr(1) + "...) "},
    {"250-AUTH" + Names(10, 4) + "\r\n250 AUTH" + Names(20, 4).substr(50) + "\r\n",
     "AUTH(" + Names(13, 4).substr(1) + "...) "},
};

CEhloCapabilities Read(const std::string &reply, std::size_t i, std::size_t j) {
  CEhloReplyReader reader;
  reader.Feed(reply.data(), i);
  reader.Feed(reply.data() + i, j - i);
  reader.Feed(reply.data() + j, reply.size() - j);
  return reader.Capabilities();
}

TEST(EhloKeywords, WholeReplies) {
  for (const Row &row : kRows)
    EXPECT_EQ(Read(row.reply, 0, 0).startTls, row.found) << row.reply;
  for (const OfferRow &row : kOffers) EXPECT_EQ(Describe(Read(row.reply, 0, 0)), row.record) << row.reply;
}

TEST(EhloKeywords, RepliesSplitAtEveryOffsetPair) {
  for (const Row &row : kRows) {
    std::string reply = row.reply;
    for (std::size_t i = 0; i <= reply.size(); ++i)
      for (std::size_t j = i; j <= reply.size(); ++j)
        ASSERT_EQ(Read(reply, i, j).startTls, row.found) << row.reply << " split at " << i << "," << j;
  }
  for (const OfferRow &row : kOffers) {
    for (std::size_t i = 0; i <= row.reply.size(); ++i)
      for (std::size_t j = i; j <= row.reply.size(); j += 7)
        ASSERT_EQ(Describe(Read(row.reply, i, j)), row.record) << row.reply << " split at " << i << "," << j;
  }
}

TEST(EhloKeywords, EmptyKeywordsAnnounceNothing) {
  EXPECT_EQ(Describe(Read("250-host\r\n250-\r\n250 \r\n", 0, 0)), "");
}

TEST(EhloKeywords, LongLinesAreHarmless) {
  std::string reply = "250-host\r\n250-" + std::string(100000, 'A') + "\r\n250 STARTTLS\r\n";
  EXPECT_TRUE(Read(reply, 0, 0).startTls);
  // Of a long AUTH line only its start is kept: a handful of names.
  std::string names;
  for (int i = 0; i < 20000; ++i) names += " M" + std::to_string(i);
  CEhloCapabilities offer = Read("250 AUTH" + names + " PLAIN\r\n", 0, 0);
  EXPECT_EQ(offer.mechanisms.size(), kMaxMechanisms);
  EXPECT_TRUE(offer.mechanismsCut);
  EXPECT_FALSE(offer.Offers("PLAIN"));
}

TEST(EhloKeywords, MechanismsCompareWithoutCase) {
  CEhloCapabilities offer = Read("250 AUTH=login Plain\r\n", 0, 0);
  EXPECT_TRUE(offer.Offers("LOGIN"));
  EXPECT_TRUE(offer.Offers("PLAIN"));
  EXPECT_FALSE(offer.Offers("XOAUTH2"));
}

}  // namespace
