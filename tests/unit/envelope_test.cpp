#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "smtp/envelope.h"

namespace {

std::string Extract(const char *text, std::size_t *count = nullptr) {
  std::string out(std::string(text).size() + 1, '#');
  EXPECT_TRUE(ExtractAddresses(text, out.data(), count));
  return out.c_str();
}

// Only what stands between "<" and ">" outside a display name counts.
TEST(ExtractAddresses, TakesTheBracketedAddresses) {
  const struct {
    const char *text;
    const char *addresses;
  } rows[] = {
      {"\"Ann\" <A>, \"\" <B>", "A,B"},
      {"\"Ann \\\"Q\\\" Lee\" <ann>", "ann"},
      {"\"A\\\\\" <x>, \"\" <y>", "x,y"},        // an escaped backslash ends before the quote
      {"\"a <b> c\" <x>", "x"},                  // "<" inside a quoted name
      {"=?iso-8859-1?Q?a<b>?= <x>", "x"},        // "<" inside an encoded name
      {"=?iso-8859-1?B?SvZyZw==?= <j>, \"\" <k>", "j,k"},
      {"=?iso-8859-1?Q?=C9mile?= <e>, \"\" <f>", "e,f"},  // escaped first byte
      {"=?iso-8859-1?Q?=C9?= <e>", "e"},
      {"=?utf-8?Q?M=C3=BCller=2C=20Hans?= <m>, \"Lee, Bob\" <b>", "m,b"},  // display names
      {"\"\" <ann>, \"\" <>, \"\" <bob>", "ann,,bob"},
      {"\"\" <>", ""},
      {"\"\" <ann, bob>", "ann, bob"},
      {"\"\" <ann", "ann"},                      // unclosed address
      {"\"open <x>", ""},                        // unclosed quoted name
      {"=?iso-8859-1?Q?open <x>", ""},           // unclosed encoded name
      {"", ""},
  };
  for (const auto &row : rows) EXPECT_EQ(Extract(row.text), row.addresses) << row.text;
}

TEST(ExtractAddresses, CountsTheCharactersWritten) {
  std::size_t count = 99;
  EXPECT_EQ(Extract("\"\" <ann>, \"\" <bo>", &count), "ann,bo");
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(Extract("", &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(ExtractAddresses("\"\" <a>", nullptr, nullptr));
}

struct MailTexts {
  const char *to;
  const char *cc;
  const char *bcc;
};

void Fill(CSmtpMail &mail, const MailTexts &texts) {
  mail.m_to = texts.to;
  mail.m_cc = texts.cc;
  mail.m_bcc = texts.bcc;
}

std::string Recipients(const CSmtpMail &mail) {
  std::string buffer(mail.GetRecipientsLength(), '#');
  std::size_t length = buffer.size();
  EXPECT_TRUE(mail.GetRecipients(buffer.data(), &length));
  EXPECT_EQ(length, std::string(buffer.c_str()).size());
  return buffer.c_str();
}

TEST(GetRecipients, ToThenCcThenBcc) {
  const struct {
    MailTexts texts;
    const char *list;
  } rows[] = {
      {{"\"Ann\" <A>, \"\" <B>", "", "C"}, "A,B,C"},
      {{"\"\" <a>", "\"\" <c>", "x,,y"}, "a,c,x,,y"},
      {{"", "\"\" <c>", "b"}, "c,b"},
      {{"", "", "a,"}, "a,"},
      {{"\"\" <a>", "", ""}, "a"},
      {{"", "", ""}, ""},
  };
  for (const auto &row : rows) {
    CSmtpMail mail;
    Fill(mail, row.texts);
    EXPECT_EQ(Recipients(mail), row.list) << row.texts.to << "|" << row.texts.cc << "|" << row.texts.bcc;
  }
}

TEST(GetRecipients, LengthIsAnUpperBound) {
  const struct {
    MailTexts texts;
    std::size_t length;
  } rows[] = {
      {{"12345678901234567890", "", "12345"}, 27},  // 20 + 1 + 5 + 1
      {{"", "", ""}, 1},
      {{"", "123", "12"}, 7},
      {{"1234", "123", ""}, 9},
  };
  for (const auto &row : rows) {
    CSmtpMail mail;
    Fill(mail, row.texts);
    EXPECT_EQ(mail.GetRecipientsLength(), row.length) << row.texts.to;
  }
}

TEST(GetRecipients, RefusesNoBufferAndAShortOne) {
  CSmtpMail mail;
  Fill(mail, {"\"\" <ann>", "", "bob"});
  std::size_t length = 0;
  EXPECT_FALSE(mail.GetRecipients(nullptr, &length));
  char buffer[32] = "untouched";
  length = mail.GetRecipientsLength() - 1;
  EXPECT_FALSE(mail.GetRecipients(buffer, &length));
  EXPECT_EQ(length, mail.GetRecipientsLength());
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_TRUE(mail.GetRecipients(buffer, nullptr));
  EXPECT_STREQ(buffer, "ann,bob");
}

struct Elements {
  std::vector<std::string> elements;
  CEnvelopeElements::Result last;
};

Elements ReadAll(const char *list) {
  Elements read;
  CEnvelopeElements reader(list);
  std::string element;
  for (;;) {
    read.last = reader.Next(element);
    if (read.last != CEnvelopeElements::kElement) break;
    read.elements.push_back(element);
  }
  return read;
}

TEST(EnvelopeElements, DelimitersAndWhiteSpace) {
  using V = std::vector<std::string>;
  const struct {
    const char *list;
    V elements;
  } rows[] = {
      {"A,B,C", V{"A", "B", "C"}},
      {"", V{""}},
      {"ann, bob", V{"ann", "bob"}},
      {"ann bob", V{"ann", "bob"}},
      {"a;b", V{"a", "b"}},
      {"x,,y", V{"x", "", "y"}},
      {"a,", V{"a", ""}},
      {",a", V{"", "a"}},
      {"a,\t\r\n\v\f b", V{"a", "b"}},
      {"a\tb", V{"a\tb"}},  // white space is skipped only after a delimiter
      // A line break stays inside its element, which the RCPT TO step
      // then refuses whole (never cut into addresses of the caller's).
      {"a\r\nRSET b", V{"a\r\nRSET", "b"}},
  };
  for (const auto &row : rows) {
    Elements read = ReadAll(row.list);
    EXPECT_EQ(read.elements, row.elements) << row.list;
    EXPECT_EQ(read.last, CEnvelopeElements::kEnd) << row.list;
  }
}

TEST(EnvelopeElements, ElementOf988IsTheLongest) {
  const std::string longest(kMaxEnvelopeElement, 'a');
  Elements read = ReadAll(("x," + longest + ",y").c_str());
  EXPECT_EQ(read.elements, (std::vector<std::string>{"x", longest, "y"}));
  EXPECT_EQ(read.last, CEnvelopeElements::kEnd);

  const std::string too_long(kMaxEnvelopeElement + 1, 'a');
  // The reader keeps a pointer into the list: the list must outlive it.
  const std::string list = "x," + too_long + ",y";
  CEnvelopeElements reader(list.c_str());
  std::string element;
  EXPECT_EQ(reader.Next(element), CEnvelopeElements::kElement);
  EXPECT_EQ(element, "x");
  EXPECT_EQ(reader.Next(element), CEnvelopeElements::kTooLong);
  EXPECT_EQ(reader.Next(element), CEnvelopeElements::kTooLong);  // stays refused
}

// From the recipient parameters to the elements the RCPT TO commands carry.
TEST(EnvelopeElements, FromTheRecipientSetters) {
  CSmtpMail mail;
  if (mail.m_multiLanguage != nullptr) mail.m_multiLanguage->Release();
  mail.m_multiLanguage = nullptr;
  ASSERT_EQ(mail.SetTo("<Ann \"Q\" <Lee> ann@a;;ann2@a, bob@a", 0), 0);
  ASSERT_EQ(mail.SetCc("<C\\> carl@a, \"Lee, Bob\" <bo@b>", 0), 0);
  ASSERT_EQ(mail.SetBcc("<Dan> dan@a;;eve@a,"), 0);
  std::string list = Recipients(mail);
  // Empty entries are skipped: no element is empty.
  EXPECT_EQ(list, "ann@a,ann2@a,bob@a,carl@a,bo@b,dan@a,eve@a");
  EXPECT_EQ(ReadAll(list.c_str()).elements,
            (std::vector<std::string>{"ann@a", "ann2@a", "bob@a", "carl@a", "bo@b", "dan@a", "eve@a"}));
}

}  // namespace
