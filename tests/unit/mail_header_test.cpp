#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mime/date_header.h"
#include "mime/encoded_word.h"
#include "mime/header_fold.h"
#include "mime/local_time.h"
#include "mime/mail_header.h"
#include "mime/message_id.h"
#include "tests/support/fake_multi_language.h"
#include "tests/support/fixed_header.h"
#include "tests/support/hex_text.h"
#include "tests/support/memory_channel.h"

namespace {

const char kDate[] = "Date: Tue, 5 Mar 2024 09:07:03 +0530\r\n";

// The Message-ID line of a test header: the fixed left side, and the host
// name when the sender address has no domain.
std::string MessageIdLine(const std::string &right = kFixedIdHost) {
  return "Message-ID: <" + std::string(kFixedIdLeft) + "@" + right + ">\r\n";
}

// A header with a fixed clock and Message-ID and, optionally, a service.
class CTestHeader : public CFixedHeader<CMailHeader> {
 public:
  explicit CTestHeader(CMultiLanguageService *service = nullptr) { SetMultiLanguage(service); }
  using CMailHeader::CopyHeaderTo;
};

std::string Block(CMailHeader &header, int flags = kWriteSmtp) {
  CMemoryChannel channel;
  EXPECT_EQ(header.WriteTo(&channel, "", flags), 1);
  EXPECT_LE(channel.WriteCount(), 1u);
  return channel.Bytes();
}

std::vector<std::string> Lines(const std::string &block) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = block.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(block.substr(start, end - start));
  return lines;
}

std::string Encode(const std::string &text, const char *charset, bool service, int *encoded,
                   WordPlace place = WordPlace::kText) {
  CFakeMultiLanguage fake;
  CTestHeader header(service ? &fake : nullptr);
  std::vector<char> out(QWordCapacity(text.size()) + BWordCapacity(text.size()) + 4096);
  std::size_t length = 0;
  if (!header.EncodeHeaderText(text, charset, out.data(), out.size(), &length, encoded, place))
    return "<failed>";
  return std::string(out.data(), length);
}

TEST(DateLine, FormatsLocalTimeAndZone) {
  struct Row {
    CLocalTime time;
    const char *line;
  } rows[] = {
      {FixedLocalTime(-330), "Date: Tue, 5 Mar 2024 09:07:03 +0530"},
      {FixedLocalTime(300), "Date: Tue, 5 Mar 2024 09:07:03 -0500"},
      {FixedLocalTime(0), "Date: Tue, 5 Mar 2024 09:07:03 -0000"},
      {FixedLocalTime(-60), "Date: Tue, 5 Mar 2024 09:07:03 +0100"},
      {FixedLocalTime(-345), "Date: Tue, 5 Mar 2024 09:07:03 +0545"},
      {FixedLocalTime(210), "Date: Tue, 5 Mar 2024 09:07:03 -0330"},
  };
  for (const Row &row : rows) {
    char buffer[64];
    EXPECT_EQ(FormatDateHeaderAt(buffer, sizeof buffer, row.time), kDateHeaderSize);
    EXPECT_STREQ(buffer, row.line);
  }
}

TEST(DateLine, NamesOutOfRangeAsSundayAndJanuary) {
  CLocalTime t = FixedLocalTime(0);
  t.day = 25;
  t.day_of_week = 7;
  t.month = 13;
  char buffer[64];
  FormatDateHeaderAt(buffer, sizeof buffer, t);
  EXPECT_STREQ(buffer, "Date: Sun, 25 Jan 2024 09:07:03 -0000");
  t.day_of_week = -1;
  t.month = 0;
  FormatDateHeaderAt(buffer, sizeof buffer, t);
  EXPECT_STREQ(buffer, "Date: Sun, 25 Jan 2024 09:07:03 -0000");
}

TEST(DateLine, BufferSizeRules) {
  char buffer[64] = "untouched";
  EXPECT_EQ(FormatDateHeaderAt(nullptr, 0, FixedLocalTime(0)), 38);
  EXPECT_EQ(FormatDateHeaderAt(buffer, 37, FixedLocalTime(0)), 0);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(FormatDateHeader(nullptr, 0), 38);
  EXPECT_EQ(FormatDateHeader(buffer, 37), 0);
  ASSERT_EQ(FormatDateHeader(buffer, sizeof buffer), 38);  // the real clock
  EXPECT_EQ(std::string(buffer).substr(0, 6), "Date: ");
  EXPECT_LE(std::strlen(buffer), 37u);
}

TEST(DateLine, BiasInForceFollowsTheZoneState) {
  struct Row {
    int zone_id;
    long bias, standard, daylight;
    int expected;
  } rows[] = {
      {kZoneInStandardTime, 300, 0, -60, 300},
      {kZoneInDaylightTime, 300, 0, -60, 240},
      {kZoneInDaylightTime, 60, 0, -60, 0},  // written as -0000
      {kZoneInStandardTime, -330, 0, 0, -330},
      {kZoneInStandardTime, 0, 30, -60, 30},
      {0, -120, 10, -60, -120},               // unknown zone: bias alone
      {-1, 0, 0, 0, 0},                       // the call failed, nothing filled
  };
  for (const Row &row : rows)
    EXPECT_EQ(ZoneBiasMinutes(row.zone_id, row.bias, row.standard, row.daylight), row.expected)
        << row.zone_id << " " << row.bias;
  char buffer[64];
  FormatDateHeaderAt(buffer, sizeof buffer,
                     FixedLocalTime(ZoneBiasMinutes(kZoneInDaylightTime, 60, 0, -60)));
  EXPECT_STREQ(buffer + 31, "-0000");
}

TEST(EncodedWords, ChoiceOfForm) {
  struct Row {
    std::string text;
    bool service;
    const char *expected;
    int encoded;
  } rows[] = {
      {"Hello world", true, "Hello world", 0},
      {"Tab\there", true, "Tab\there", 0},
      {"\x47\x72\xFC\xDF\x65", true, "=?iso-8859-1?B?R3L832U=?=", 1},
      {"\x43\x61\x66\xE9 au lait", true, "=?iso-8859-1?Q?Caf=E9=20au=20lait?=", 1},
      {"a=b?c_d \x7F", true, "=?iso-8859-1?Q?a=3Db=3Fc=5Fd=20=7F?=", 1},
      {"Caf\xE9", false, "Caf\xE9", 0},
      // Line breaks are unsafe: they can only travel inside a word.
      {"Hi\r\nBcc: evil@example.com", true, "=?iso-8859-1?Q?Hi=0D=0ABcc:=20evil@example.com?=", 1},
      {"Hi\nthere and more text", true, "=?iso-8859-1?Q?Hi=0Athere=20and=20more=20text?=", 1},
      {"Hi\r\nBcc: evil", false, "<failed>", 0},
      {"bare\r", false, "<failed>", 0},
      {"", true, "", 0},
  };
  for (const Row &row : rows) {
    int encoded = -1;
    EXPECT_EQ(Encode(row.text, "iso-8859-1", row.service, &encoded), row.expected) << row.text;
    EXPECT_EQ(encoded, row.encoded) << row.text;
  }
}

// A word in a phrase keeps only letters, digits and "! * + - /" raw (RFC
// 2047 5(3)); which form is chosen does not change.
TEST(EncodedWords, PhraseWordsEscapeSpecials) {
  struct Row {
    std::string text;
    const char *expected;
  } rows[] = {
      {"M\xFCller, Hans", "=?iso-8859-1?Q?M=FCller=2C=20Hans?="},
      {"\xE9 <a@b> \"q\" (c) [d] ;:.\\_=?",
       "=?iso-8859-1?Q?=E9=20=3Ca=40b=3E=20=22q=22=20=28c=29=20=5Bd=5D=20=3B=3A?=\r\n\t"
       "=?iso-8859-1?Q?=2E=5C=5F=3D=3F?="},
      {"\xE9\xE9\xE9 ,", "=?iso-8859-1?B?6enpICw=?="},  // B as before: 3 of 5 unsafe
      {"Caf\xE9 a!*+-/z09AZ#$%&'^`{|}~",
       "=?iso-8859-1?Q?Caf=E9=20a!*+-/z09AZ=23=24=25=26=27=5E=60=7B=7C=7D=7E?="},
      {"plain, text", "plain, text"},
  };
  for (const Row &row : rows) {
    int encoded = -1;
    EXPECT_EQ(Encode(row.text, "iso-8859-1", true, &encoded, WordPlace::kPhrase), row.expected)
        << row.text;
  }
}

TEST(EncodedWords, CapacityDemands) {
  CFakeMultiLanguage fake;
  CTestHeader header(&fake);
  std::string q = "\x43\x61\x66\xE9 au lait";  // 12 bytes: Q needs 3 * (12 + 0 + 20)
  std::string b = "\x47\x72\xFC\xDF\x65";
  std::vector<char> out(200);
  std::size_t length = 0;
  int encoded = 0;
  EXPECT_EQ(header.EncodeHeaderText(q, "iso-8859-1", out.data(), 95, &length, &encoded), 0);
  EXPECT_EQ(header.EncodeHeaderText(q, "iso-8859-1", out.data(), 96, &length, &encoded), 1);
  EXPECT_EQ(out[length], '\0');
  std::size_t b_need = BWordCapacity(b.size());
  EXPECT_EQ(b_need, 10u + 57u);  // 8 characters, and the line end the encoder counts
  EXPECT_EQ(header.EncodeHeaderText(b, "iso-8859-1", out.data(), b_need - 1, &length, &encoded), 0);
  EXPECT_EQ(header.EncodeHeaderText(b, "iso-8859-1", out.data(), b_need, &length, &encoded), 1);
  // Unchanged text: its length is enough.
  EXPECT_EQ(header.EncodeHeaderText("plain", "iso-8859-1", out.data(), 4, &length, &encoded), 0);
  EXPECT_EQ(header.EncodeHeaderText("plain", "iso-8859-1", out.data(), 5, &length, &encoded), 1);
  EXPECT_EQ(header.EncodeHeaderText("plain", "iso-8859-1", nullptr, 5, &length, &encoded), 0);
}

TEST(EncodedWords, LineBreakHelper) {
  EXPECT_FALSE(HasLineBreak("plain\ttext"));
  EXPECT_TRUE(HasLineBreak("a\rb"));
  EXPECT_TRUE(HasLineBreak("a\nb"));
  EXPECT_TRUE(HasLineBreak(std::string("\0\n", 2)));
}

// The words of a split text: each within 75 characters, one per line.
std::vector<std::string> Words(const std::string &value) {
  std::vector<std::string> words;
  std::size_t start = 0;
  for (;;) {
    std::size_t fold = value.find("\r\n\t", start);
    words.push_back(value.substr(start, fold == std::string::npos ? fold : fold - start));
    if (fold == std::string::npos) return words;
    start = fold + 3;
  }
}

TEST(EncodedWords, OneWordUpTo75CharactersThenSeveral) {
  // "=?iso-8859-1?Q?" + text + "?=": 17 bytes around the escaped text.
  std::string fits = std::string(55, 'a') + "\xE9";   // 55 + 3 + 17 = 75
  std::string over = std::string(56, 'a') + "\xE9";   // 76
  int encoded = 0;
  std::string one = Encode(fits, "iso-8859-1", true, &encoded);
  EXPECT_EQ(one.size(), kLongestEncodedWord);
  EXPECT_EQ(Words(one).size(), 1u);
  std::string split = Encode(over, "iso-8859-1", true, &encoded);
  EXPECT_EQ(split, "=?iso-8859-1?Q?" + std::string(56, 'a') + "?=\r\n\t=?iso-8859-1?Q?=E9?=");
  std::vector<std::string> words =
      Words(Encode(std::string(969, 'a') + "\xE9", "iso-8859-1", true, &encoded));
  EXPECT_GT(words.size(), 16u);
  for (const std::string &w : words) {
    EXPECT_LE(w.size(), kLongestEncodedWord);
    EXPECT_EQ(w.substr(0, 15), "=?iso-8859-1?Q?");
    EXPECT_EQ(w.substr(w.size() - 2), "?=");
  }
  EXPECT_NE(words.back().find("=E9"), std::string::npos);
}

TEST(EncodedWords, SplitKeepsCharactersWhole) {
  struct Row {
    const char *charset;
    std::string character;
  } rows[] = {
      {"utf-8", "\xC3\xA9"},             // 2 bytes
      {"utf-8", "\xE2\x82\xAC"},         // 3 bytes
      {"utf-8", "\xF0\x9F\x98\x80"},     // 4 bytes
      {"shift_jis", "\x82\xA0"},
      {"shift_jis", "\x95\x5C"},         // trail byte in the ASCII range
      {"GB18030", "\x81\x30\x81\x30"},
      {"euc-jp", "\x8F\xA1\xA1"},
  };
  for (const Row &row : rows) {
    std::string text = "x";  // misaligns the characters against the word size
    for (int i = 0; i < 400; ++i) text += row.character;
    int encoded = 0;
    std::string value = Encode(text, row.charset, true, &encoded);
    std::vector<std::string> words = Words(value);
    ASSERT_GT(words.size(), 1u) << row.charset;
    std::string prefix = std::string("=?") + row.charset + "?B?";
    for (const std::string &w : words) {
      EXPECT_LE(w.size(), kLongestEncodedWord) << row.charset;
      ASSERT_EQ(w.substr(0, prefix.size()), prefix);
      // Every word but the first holds a whole number of characters.
      std::size_t payload = w.size() - prefix.size() - 2;
      std::size_t pad = w[w.size() - 3] == '=' ? (w[w.size() - 4] == '=' ? 2 : 1) : 0;
      std::size_t bytes = payload / 4 * 3 - pad;
      if (&w != &words.front()) {
        EXPECT_EQ(bytes % row.character.size(), 0u) << row.charset << " " << w;
      }
    }
  }
}

TEST(EncodedWords, RunOfUtf8ContinuationBytesIsStillCut) {
  // Not UTF-8: no character is longer than four bytes, so the run is cut
  // like any other text rather than becoming one word (and one line) as
  // long as itself.
  std::string text = "<" + std::string(1500, '\xB3');
  int encoded = 0;
  std::vector<std::string> words = Words(Encode(text, "utf-8", true, &encoded));
  ASSERT_GT(words.size(), 1u);
  for (const std::string &w : words) EXPECT_LE(w.size(), kLongestEncodedWord);
}

TEST(EncodedWords, StatefulCharsetIsNotCut) {
  std::string text = "\x1B$B";
  for (int i = 0; i < 500; ++i) text += "\x30\x21";
  text += "\x1B(B\x01";  // one unsafe byte: Q
  int encoded = 0;
  EXPECT_EQ(Words(Encode(text, "iso-2022-jp", true, &encoded)).size(), 1u);
}

TEST(HeaderBlock, EmptyHeaderIsTheDateLineAlone) {
  CTestHeader header;
  EXPECT_EQ(Block(header), kDate + MessageIdLine());
}

TEST(HeaderBlock, AllLinesInOrderWithOneWrite) {
  CFakeMultiLanguage fake;
  CTestHeader header(&fake);
  header.m_from = "ann@example.com";
  header.m_subject = "Caf\xE9 au lait";
  std::strcpy(header.m_subjectCharset, "iso-8859-1");
  header.m_to = "\"Ann\" <ann@example.com>, \"\" <bob@example.com>,\"C\" <c@example.com>";
  header.m_cc = "\"Dee\" <dee@example.com>";
  header.m_bcc = "secret@example.com";
  header.m_replyTo = "\"Help Desk\" <help@example.com>, \"\" <h@example.com>";
  EXPECT_EQ(Block(header),
            std::string(kDate) +
                "From: <ann@example.com>\r\n"
                "Reply-To: \"Help Desk\" <help@example.com>,\r\n\t\"\" <h@example.com>\r\n"
                "Subject: =?iso-8859-1?Q?Caf=E9=20au=20lait?=\r\n"
                "To: \"Ann\" <ann@example.com>,\r\n"
                "\t\"\" <bob@example.com>,\r\n"
                "\t\"C\" <c@example.com>\r\n"
                "CC: \"Dee\" <dee@example.com>\r\n" +
                MessageIdLine("example.com"));
}

TEST(HeaderBlock, FromWithDisplayName) {
  struct Row {
    std::string name;
    std::string line;
  } rows[] = {
      {"\"Nightly Jobs\"", "From: \"Nightly Jobs\" <jobs@x.org>\r\n"},
      {"=?utf-8?Q?J=C3=B6rg?=", "From: =?utf-8?Q?J=C3=B6rg?= <jobs@x.org>\r\n"},
      // A long name folds at a blank, never inside the address.
      {"\"" + std::string(1000, 'n') + " x\"",
       "From: \"" + std::string(1000, 'n') + "\r\n x\" <jobs@x.org>\r\n"},
  };
  for (const Row &row : rows) {
    CTestHeader header;
    header.m_from = "jobs@x.org";
    header.m_fromName = row.name;
    EXPECT_EQ(Block(header), kDate + row.line + MessageIdLine("x.org")) << row.name;
  }
}

TEST(HeaderBlock, ListFoldOnlyAtSeparators) {
  struct Row {
    const char *list;
    const char *expected;
  } rows[] = {
      {"a, b", "To: a,\r\n\tb\r\n"},
      {"a,  b", "To: a,\r\n\t b\r\n"},  // one space dropped
      {"\"Lee, Ann\" <a>, \"B\" <b>", "To: \"Lee, Ann\" <a>,\r\n\t\"B\" <b>\r\n"},
      {"\"x\\\", y\" <a>, b", "To: \"x\\\", y\" <a>,\r\n\tb\r\n"},
      {"=?utf-8?Q?Lee,=20Ann?= <a>, b", "To: =?utf-8?Q?Lee,=20Ann?= <a>,\r\n\tb\r\n"},
      {"\"\" <ann, bob>", "To: \"\" <ann, bob>\r\n"},
      {"=?broken, b", "To: =?broken,\r\n\tb\r\n"},
  };
  for (const Row &row : rows) {
    CTestHeader header;
    header.m_to = row.list;
    EXPECT_EQ(Block(header), std::string(kDate) + row.expected + MessageIdLine()) << row.list;
  }
}

TEST(HeaderBlock, LongItemIsFoldedAtABlankBeforeTheLimit) {
  // An encoded name of the longest single word and its address: the line
  // breaks before the address, and unfolding gives the item back.
  const std::string word = "=?utf-8?B?" + std::string(971, 'Q') + "?=";
  ASSERT_EQ(word.size(), kValueFoldColumn - kValueFieldWidth - 5);
  struct Row {
    std::string list;
    std::string expected;
  } rows[] = {
      {word + " <a@example.org>", "To: " + word + "\r\n <a@example.org>\r\n"},
      // Blanks inside a quoted name may be broken at too; the last that fits.
      {"\"" + std::string(600, 'n') + " " + std::string(600, 'm') + " x\" <a>",
       "To: \"" + std::string(600, 'n') + "\r\n " + std::string(600, 'm') + " x\" <a>\r\n"},
      // One word longer than a line has no place to break.
      {std::string(1200, 'w') + "@example.org", "To: " + std::string(1200, 'w') + "@example.org\r\n"},
  };
  for (const Row &row : rows) {
    CTestHeader header;
    header.m_to = row.list;
    EXPECT_EQ(Block(header), std::string(kDate) + row.expected + MessageIdLine())
        << row.list.substr(0, 40);
  }
}

TEST(HeaderBlock, ManyRecipientsAreFoldedNotRefused) {
  CTestHeader header;
  for (int i = 0; i < 300; ++i) {
    if (i != 0) header.m_to += ", ";
    header.m_to += "\"Recipient " + std::to_string(i) + "\" <r" + std::to_string(i) + "@example.com>";
  }
  std::string block = Block(header);
  std::vector<std::string> lines = Lines(block);
  EXPECT_EQ(lines.size(), 302u);
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i][0], '\t');
  EXPECT_GT(block.size(), 998u * 5);
}

TEST(HeaderBlock, LongValueFoldsWithTab) {
  for (int flags : {0, kWriteSmtp}) {
    CTestHeader header;
    header.m_subject = std::string(2000, 's');
    std::vector<std::string> lines = Lines(Block(header, flags));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].size(), 997u);  // "Subject: " and 988 bytes
    EXPECT_EQ(lines[2].size(), 998u);
    EXPECT_EQ(lines[2][0], '\t');
    EXPECT_EQ(lines[3], "\t" + std::string(2000 - 988 - 997, 's'));
  }
}

TEST(HeaderBlock, LongEncodedSubjectIsSeveralWordsOnFoldedLines) {
  CFakeMultiLanguage fake;
  CTestHeader header(&fake);
  for (int i = 0; i < 600; ++i) header.m_subject += "\xC3\xA9";
  std::strcpy(header.m_subjectCharset, "utf-8");
  std::vector<std::string> lines = Lines(Block(header));
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[1].substr(0, 19), "Subject: =?utf-8?B?");
  EXPECT_EQ(lines.back(), MessageIdLine().substr(0, MessageIdLine().size() - 2));
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, 10), "\t=?utf-8?B");
    EXPECT_LE(lines[i].size(), 76u);
  }
}

TEST(HeaderBlock, LineBreaksNeverReachTheHeaderRaw) {
  CFakeMultiLanguage fake;
  CTestHeader encoded(&fake);
  encoded.m_subject = "Hi\r\nBcc: evil@example.com";
  std::strcpy(encoded.m_subjectCharset, "us-ascii");
  std::string block = Block(encoded);
  EXPECT_EQ(block, std::string(kDate) + "Subject: =?us-ascii?Q?Hi=0D=0ABcc:=20evil@example.com?=\r\n" +
                       MessageIdLine());

  struct Row {
    std::string CMailHeader::*field;
    const char *value;
  } rows[] = {
      {&CMailHeader::m_subject, "Hi\r\nBcc: evil"},
      {&CMailHeader::m_from, "a@b\r\nBcc: evil"},
      {&CMailHeader::m_fromName, "\"x\"\nBcc: evil"},
      {&CMailHeader::m_to, "\"x\" <a>\nBcc: evil"},
      {&CMailHeader::m_cc, "\"x\" <a>\rBcc: evil"},
  };
  for (const Row &row : rows) {
    CTestHeader plain;  // no service: nothing can be encoded
    plain.*row.field = row.value;
    CMemoryChannel channel;
    EXPECT_EQ(plain.WriteTo(&channel, "", kWriteSmtp), 0) << row.value;
    EXPECT_EQ(channel.Bytes(), "");
  }
}

TEST(HeaderBlock, UnencodableSubjectWithoutServiceIsKept) {
  CTestHeader header;
  header.m_subject = "Caf\xE9";
  EXPECT_EQ(Block(header), std::string(kDate) + "Subject: Caf\xE9\r\n" + MessageIdLine());
}

TEST(HeaderBlock, Failures) {
  CTestHeader header;
  header.m_from = "a@b";
  EXPECT_EQ(header.WriteTo(nullptr, "", kWriteSmtp), 0);
  CMemoryChannel channel;
  channel.FailFromWrite(1);
  EXPECT_EQ(header.WriteTo(&channel, "", kWriteSmtp), 0);
  EXPECT_EQ(channel.Bytes(), "");
  // The Message-ID is made once and kept: the block written again (to
  // another server) is the same message.
  const std::string id = header.m_messageId;
  EXPECT_FALSE(id.empty());
  header.m_idError = 5;
  EXPECT_EQ(header.WriteTo(&channel, "", kWriteSmtp), 0);
  EXPECT_EQ(header.m_messageId, id);
  // No Message-ID, no message: nothing is written, and the reason is told.
  CMemoryChannel no_id;
  header.m_messageId.clear();
  EXPECT_EQ(header.WriteTo(&no_id, "", kWriteSmtp), 0);
  EXPECT_EQ(no_id.WriteCount(), 0u);
  EXPECT_EQ(no_id.Failures(), std::vector<std::string>{"Cannot make Message-ID(5)"});
}

// The right side: the sender's domain when it is a dot-atom, else the host
// name, else "localhost".
TEST(MessageId, RightSide) {
  const std::string long_domain = std::string(250, 'd') + ".com";
  struct Row {
    std::string sender, host;
    const char *right;
  } rows[] = {
      {"a@b@Sub.Example.ORG", "h", "Sub.Example.ORG"},
      {"ann", "h.example", "h.example"},
      {"ann@[192.0.2.1]", "h", "h"},
      {"a@b..c", "h", "h"},
      {"a@", "h", "h"},
      {"a@x_y{1}", "h", "x_y{1}"},
      {"a@" + long_domain, "h", "h"},
      {"ann", "bad host", "localhost"},
      {"ann", "h.", "localhost"},
  };
  for (const Row &row : rows) EXPECT_EQ(MessageIdRight(row.sender, row.host), row.right) << row.sender;
}

// The Message-ID the platform gives: two dot-atom-texts, four parts on the
// left (uniqueness over many calls: the delivery test).
TEST(MessageId, PlatformIdIsDotAtoms) {
  CMailHeader header;
  std::vector<std::string> lines = Lines(Block(header));
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(lines[1].substr(0, 13), "Message-ID: <");
  const std::string id = lines[1].substr(13, lines[1].size() - 14);
  const std::size_t at = id.find('@');
  ASSERT_NE(at, std::string::npos) << id;
  EXPECT_TRUE(IsDotAtomText(id.substr(0, at))) << id;
  EXPECT_EQ(std::count(id.begin(), id.begin() + at, '.'), 3) << id;
  EXPECT_TRUE(IsDotAtomText(id.substr(at + 1))) << id;
}

// Writes, for the decoder check of tests/integration/check_encoded_words.py,
// one line per text: kind, charset, the text and the header block written
// for it, the last two in hex. Runs only when MAILVANE_WORDS_OUT names the
// file.
TEST(EncodedWords, WriteSamplesForTheDecoderCheck) {
  const char *path = std::getenv("MAILVANE_WORDS_OUT");
  if (path == nullptr || *path == '\0') GTEST_SKIP() << "MAILVANE_WORDS_OUT not set";
  struct Sample {
    const char *charset;
    std::string text;
  };
  std::vector<Sample> samples = {
      {"us-ascii", "Hi\r\nBcc: evil@example.com"},
      {"us-ascii", "bare\rcr and bare\nlf"},
      {"iso-8859-1", "\x47\x72\xFC\xDF\x65"},
      {"iso-8859-1", "\x43\x61\x66\xE9 au lait, \"quoted\" (x) <y> a=b?c_d"},
      {"utf-8", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"utf-8", "\xE2\x82\xAC\r\n\xF0\x9F\x98\x80"},
      {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4"},
  };
  struct Long {
    const char *charset;
    std::string unit;
    std::size_t count;
  } longs[] = {
      {"iso-8859-1", "abc \xE9", 196}, {"iso-8859-1", "abc \xE9", 198},
      {"iso-8859-1", "\xE9", 970},     {"utf-8", "\xC3\xA9", 350},
      {"utf-8", "\xC3\xA9", 400},      {"utf-8", "\xE2\x82\xAC", 260},
      {"utf-8", "\xF0\x9F\x98\x80", 190}, {"utf-8", "\xF0\x9F\x98\x80", 800},
      {"utf-8", "ab\xE2\x82\xAC" "cdefghij\r\n", 120}, {"shift_jis", "\x82\xA0\x95\x5C", 300},
  };
  for (const Long &l : longs) {
    std::string text;
    for (std::size_t i = 0; i < l.count; ++i) text += l.unit;
    samples.push_back({l.charset, text});
    samples.push_back({l.charset, "x" + text});
  }
  std::FILE *out = std::fopen(path, "wb");
  ASSERT_NE(out, nullptr);
  CFakeMultiLanguage fake;
  for (const Sample &s : samples) {
    CTestHeader subject(&fake);
    subject.m_subject = s.text;
    std::strcpy(subject.m_subjectCharset, s.charset);
    std::string block = Block(subject);
    std::fprintf(out, "Subject\t%s\t%s\t%s\n", s.charset, Hex(s.text).c_str(), Hex(block).c_str());

    int encoded = 0;
    std::string word = Encode(s.text, s.charset, true, &encoded, WordPlace::kPhrase);
    ASSERT_EQ(encoded, 1);
    CTestHeader to;
    to.m_to = word + " <a@example.com>, \"B\" <b@example.com>";
    block = Block(to);
    std::fprintf(out, "To\t%s\t%s\t%s\n", s.charset, Hex(s.text).c_str(), Hex(block).c_str());
    for (const std::string &line : Lines(block)) EXPECT_LE(line.size(), 998u);
  }
  std::fclose(out);
}

}  // namespace
