#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "charset/thread_codepage.h"
#include "mail/error_codes.h"
#include "mail/last_error.h"
#include "charset/lead_byte.h"
#include "mail/multibyte_text.h"
#include "mail/recipient_entry.h"
#include "mail/smtp_mail.h"
#include "tests/support/fake_multi_language.h"
#include "tests/support/test_thread_locale.h"

namespace {

// A conversion service that holds Latin-1 only and names every code page
// iso-8859-1: enough to see a display name become an encoded word.
class CLatin1Service : public CMultiLanguageService {
 public:
  void AddRef() override { ++m_refs; }
  void Release() override {
    if (--m_refs == 0) delete this;
  }
  bool GetWebCharset(std::uint32_t, std::u16string &name) override {
    name = u"iso-8859-1";
    return true;
  }
  bool ConvertFromUnicode(std::uint32_t, const char16_t *text, std::size_t count,
                          std::string &out) override {
    out.clear();
    for (std::size_t i = 0; i < count && text[i] != 0; ++i)
      out.push_back(text[i] <= 0xFF ? static_cast<char>(text[i]) : '?');
    return true;
  }

 private:
  int m_refs = 1;
};


// Mails without a conversion service: names are taken as they are and the
// charset of code page 0 is iso-8859-1.
class RecipientList : public ::testing::Test {
 protected:
  void SetUp() override { ReplaceMultiLanguage(mail, nullptr); }
  CSmtpMail mail;
};

struct ListRow {
  const char *input;
  HResult result;
  const char *stored;
};

const ListRow kToRows[] = {
    {"ann@x", S_OK, "\"\" <ann@x>"},
    {"ann@x;bob@x", S_OK, "\"\" <ann@x>, \"\" <bob@x>"},
    {"<Bob Lee> bob@x;carl@x", S_OK, "\"Bob Lee\" <bob@x>, \"\" <carl@x>"},
    {" < Bob Lee > bob@x ; carl@x ", S_OK, "\"Bob Lee\" <bob@x>, \"\" <carl@x>"},
    {"\t<\tBob Lee\v>\vbob@x\f;\ncarl@x\r", S_OK, "\"Bob Lee\" <bob@x>, \"\" <carl@x>"},
    {"Bob Lee <bob@x>", S_OK, "\"Bob Lee\" <bob@x>"},
    {"Xy <Ann> ann@x", S_OK, "\"Ann\" <ann@x>"},
    {"<Ann \"Q\" Lee> ann@x", S_OK, "\"Ann \\\"Q\\\" Lee\" <ann@x>"},
    {"<A\\B> ann@x", S_OK, "\"A\\\\B\" <ann@x>"},
    {"<A\\\"B> ann@x", S_OK, "\"A\\\\\\\"B\" <ann@x>"},  // backslash first, then the quote
    {"ann@x;;bob@x", S_OK, "\"\" <ann@x>, \"\" <bob@x>"},
    {"ann@x;", S_OK, "\"\" <ann@x>"},
    {";ann@x", S_OK, "\"\" <ann@x>"},
    {"ann@x; ;bob@x", S_OK, "\"\" <ann@x>, \"\" <bob@x>"},
    {"ann@x, bob@x", S_OK, "\"\" <ann@x>, \"\" <bob@x>"},
    {"<Ann>", kRefusedAddress, ""},  // no "@": a server would add a domain of its own
    {"ann@x;bob>", kMalformedEntry, "\"\" <ann@x>"},
    {"ann@x;<bob", kMalformedEntry, "\"\" <ann@x>"},
    {"ann@x;>bob<", kMalformedEntry, "\"\" <ann@x>"},
    {"a  b@x", kRefusedAddress, ""},  // one entry, not one address
    {"", S_OK, ""},
    // The form of RFC 5322, a comma between entries, and quoted names.
    {"Ann Lee <ann@example.com>, \"Lee, Bob\" <bob@example.com>;;<carl@example.com>", S_OK,
     "\"Ann Lee\" <ann@example.com>, \"Lee, Bob\" <bob@example.com>, \"\" <carl@example.com>"},
    {"Ann Lee\r\n<ann@x>", E_INVALIDARG, ""},  // a line break inside an entry
    {"\"A \\\"Q\\\" \\\\ B\" <a@x>", S_OK, "\"A \\\"Q\\\" \\\\ B\" <a@x>"},
    {"\"a <b>, c\" <x@y>", S_OK, "\"a <b>, c\" <x@y>"},
    {"Ann \"Q\" Lee <a@x>", S_OK, "\"Ann \\\"Q\\\" Lee\" <a@x>"},
    {"<Ann, Lee> ann@x, bob@x", S_OK, "\"Ann, Lee\" <ann@x>, \"\" <bob@x>"},
    {"=?utf-8?Q?Lee,_Bob?= <b@x>, c@x", S_OK, "\"=?utf-8?Q?Lee,_Bob?=\" <b@x>, \"\" <c@x>"},
    {"a@x,,b@x, ,", S_OK, "\"\" <a@x>, \"\" <b@x>"},
    // A piece without "@" or "<" is a part of the next entry's name.
    {"Lee, Bob <b@x>", S_OK, "\"Lee, Bob\" <b@x>"},
    {"Doe, Jr., Ann <a@x>, Bob <b@x>", S_OK, "\"Doe, Jr., Ann\" <a@x>, \"Bob\" <b@x>"},
    {"postmaster, POSTMASTER@x", S_OK, "\"\" <postmaster>, \"\" <POSTMASTER@x>"},
    {"Lee, ann@x", kRefusedAddress, ""},
    // What is left is no single address: refused, earlier entries kept.
    {"ann@x;Ann Lee <>;bob@x", kRefusedAddress, "\"\" <ann@x>"},
    {"<>", kRefusedAddress, ""},
    {"<Ann> ann b@x", kRefusedAddress, ""},
    {"Ann <a@x> <b@x>", kRefusedAddress, ""},
    {"\"open, <a@x>", kRefusedAddress, ""},
    {"<Ann> a<b@x", kRefusedAddress, ""},
};

TEST_F(RecipientList, ToTextExamples) {
  for (const ListRow &row : kToRows) {
    EXPECT_EQ(mail.SetTo(row.input, 0), row.result) << row.input;
    EXPECT_EQ(mail.m_to, row.stored) << row.input;
  }
}

TEST_F(RecipientList, CcTextHasTheToForm) {
  for (const ListRow &row : kToRows) {
    EXPECT_EQ(mail.SetCc(row.input, 0), row.result) << row.input;
    EXPECT_EQ(mail.m_cc, row.stored) << row.input;
    EXPECT_EQ(mail.SetReplyTo(row.input, 0), row.result) << row.input;
    EXPECT_EQ(mail.m_replyTo, row.stored) << row.input;
    EXPECT_EQ(mail.m_to, "") << row.input;
  }
  // Reply-To names no envelope recipient.
  mail.SetCc("", 0);
  EXPECT_EQ(mail.SetReplyTo("r@x", 0), S_OK);
  EXPECT_EQ(mail.GetRecipientsLength(), 1u);  // the NUL alone
}

TEST_F(RecipientList, BccTextKeepsAddressesOnly) {
  const ListRow rows[] = {
      {"<Bob Lee> bob@x;carl@x", S_OK, "bob@x,carl@x"},
      {"ann@x;;bob@x", S_OK, "ann@x,bob@x"},
      {"ann@x;", S_OK, "ann@x"},
      {";ann@x", S_OK, "ann@x"},
      {" ann@x ; bob@x ", S_OK, "ann@x,bob@x"},
      {"ann@x, bob@x", S_OK, "ann@x,bob@x"},
      {"ann@x;bob>", kMalformedEntry, "ann@x"},
      {"", S_OK, ""},
      {"Ann <a@x>, \"L, B\" <b@x>,,", S_OK, "a@x,b@x"},
      {"a@x;Ann <>", kRefusedAddress, "a@x"},
      {"Lee, Ann <a@x>;Postmaster", S_OK, "a@x,Postmaster"},
  };
  for (const ListRow &row : rows) {
    EXPECT_EQ(mail.SetBcc(row.input), row.result) << row.input;
    EXPECT_EQ(mail.m_bcc, row.stored) << row.input;
    EXPECT_EQ(mail.m_to, "") << row.input;
  }
}

// The text of a refusal quotes the entry, trimmed, and at most its first
// 200 bytes, cut between characters.
TEST_F(RecipientList, RefusedEntryIsQuoted) {
  const std::string long_name(300, 'n');
  const struct {
    std::string list;
    std::string entry;
  } rows[] = {
      {"ann@x; Ann Lee <> ;bob@x", "Ann Lee <>"},
      {"<" + long_name + "> a b", "<" + long_name.substr(0, 199) + "..."},
      {"<\xC3\xA9" + long_name.substr(0, 197) + "\xC3\xA9> a b",
       "<\xC3\xA9" + long_name.substr(0, 197) + "..."},  // not cut inside a UTF-8 character
  };
  for (const auto &row : rows) {
    EXPECT_EQ(mail.SetCc(row.list.c_str(), 0), kRefusedAddress) << row.list;
    EXPECT_EQ(mail.GetRefusedEntry(), row.entry);
  }
  EXPECT_EQ(RefusedEntryText("@copy_recipients", "Ann <>"),
            "Invalid address in @copy_recipients: \"Ann <>\"");
  // Shift_JIS: the cut never separates the two bytes of a character.
  const std::string sjis = std::string(199, 'a') + "\x95\x5C";
  EXPECT_EQ(EntryToQuote(sjis, CLeadBytes::OfCodePage(932)), std::string(199, 'a') + "...");
}

TEST_F(RecipientList, ASetterReplacesTheEarlierList) {
  ASSERT_EQ(mail.SetTo("ann@x;bob@x", 0), S_OK);
  ASSERT_EQ(mail.SetTo("carl@x", 0), S_OK);
  EXPECT_EQ(mail.m_to, "\"\" <carl@x>");
  ASSERT_EQ(mail.SetBcc("ann@x"), S_OK);
  ASSERT_EQ(mail.SetBcc(nullptr), S_OK);
  EXPECT_EQ(mail.m_bcc, "");
}

TEST_F(RecipientList, NameAboveAsciiStaysQuotedWithoutService) {
  ASSERT_EQ(mail.SetTo("<J\xF6rg> j@x", 0), S_OK);
  EXPECT_EQ(mail.m_to, "\"J\xF6rg\" <j@x>");
}

TEST(RecipientListWithService, NameAboveAsciiBecomesAnEncodedWord) {
  CTestThreadLocale locale;
  // The name 4A F6 72 67, as the thread code page spells it.
  std::string name;
  switch (ThreadCodePage()) {
    case 65001: name = "J\xC3\xB6rg"; break;
    case 1252:
    case 28591: name = "J\xF6rg"; break;
    default: GTEST_SKIP() << "the thread code page cannot spell the name";
  }
  CSmtpMail mail;
  ReplaceMultiLanguage(mail, new CLatin1Service());
  ASSERT_EQ(mail.SetTo(("<" + name + "> j@x").c_str(), 0), S_OK);
  EXPECT_EQ(mail.m_to, "=?iso-8859-1?B?SvZyZw==?= <j@x>");
  // In a phrase a Q word keeps only letters, digits and "! * + - /" raw.
  const std::string mueller = name == "J\xF6rg" ? "M\xFCller" : "M\xC3\xBCller";
  ASSERT_EQ(mail.SetTo(("\"" + mueller + ", Hans (a.b) +1\" <m@x>").c_str(), 0), S_OK);
  EXPECT_EQ(mail.m_to, "=?iso-8859-1?Q?M=FCller=2C=20Hans=20=28a=2Eb=29=20+1?= <m@x>");
}

// The entry syntax "<name> address"; fields the entry gives no value keep
// what they held, and a malformed entry stores nothing.
TEST(ParseRecipient, SplitsNameAndAddress) {
  struct Row {
    const char *entry;
    int result;
    const char *address;
    const char *name;
  } rows[] = {
      {"ann", 0, "ann", "(kept)"},
      {"  ann  ", 0, "ann", "(kept)"},
      {"", 0, "", "(kept)"},
      {" \t ", 0, "", "(kept)"},
      {"<Bob Lee> bob", 0, "bob", "Bob Lee"},
      {"Xy <Ann> ann", 0, "ann", "Ann"},
      {"Bob Lee <bob>", 0, "bob", "Bob Lee"},
      {"<> ", 0, "", ""},
      {"<a>", 0, "a", ""},
      {"\"Lee, \\\"B\\\"\" <b>", 0, "b", "Lee, \"B\""},
      {"\"a <b> c\" <x> ", 0, "x", "a <b> c"},
      {"\"a\\\" <x>", 0, "", "x"},  // an unclosed quoted string hides the "<"
      {"<a> b>c", 0, "b>c", "a"},
      {"<a", 1, "(kept)", "(kept)"},
      {"a>", 1, "(kept)", "(kept)"},
      {">a<", 1, "(kept)", "(kept)"},
  };
  for (const Row &row : rows) {
    std::string address = "(kept)";
    std::string name = "(kept)";
    EXPECT_EQ(CSmtpMail::ParseRecipient(row.entry, address, name), row.result) << row.entry;
    EXPECT_EQ(address, row.address) << row.entry;
    EXPECT_EQ(name, row.name) << row.entry;
  }
}

TEST_F(RecipientList, AddRecipientAppendsOneItem) {
  std::string list;
  ASSERT_EQ(mail.AddRecipient(list, "ann", "", 0), 1);
  ASSERT_EQ(mail.AddRecipient(list, "", "Bob", 0), 1);
  EXPECT_EQ(list, "\"\" <ann>, \"Bob\" <>");
  EXPECT_EQ(mail.AddRecipient(list, nullptr, "x", 0), 0);
  EXPECT_EQ(list, "\"\" <ann>, \"Bob\" <>");
}

TEST_F(RecipientList, AddBccAddressJoinsWithBareCommas) {
  EXPECT_EQ(mail.AddBccAddress(nullptr), 0);
  const struct {
    const char *address;
    const char *stored;
  } steps[] = {{"", ""}, {"a", "a"}, {"", "a,"}, {"b", "a,,b"}};
  for (const auto &step : steps) {
    EXPECT_EQ(mail.AddBccAddress(step.address), 1);
    EXPECT_EQ(mail.m_bcc, step.stored);
  }
}

// A failing entry ends the walk with the code of the failure; with no
// platform error behind it that code is E_FAIL, never success.
TEST_F(RecipientList, FailureWithoutPlatformErrorIsEFail) {
  const struct {
    std::int32_t last_error;
    std::uint32_t code;
  } rows[] = {{0, 0x80004005u}, {2, 0x80070002u}};
  for (const auto &row : rows) {
    SetThreadLastError(row.last_error);
    // Without a service only code pages 0 and 28591 have a charset name.
    EXPECT_EQ(static_cast<std::uint32_t>(mail.SetTo("ann@x;bob@x", 1252)), row.code);
    EXPECT_EQ(mail.m_to, "");
    SetThreadLastError(row.last_error);
    EXPECT_EQ(static_cast<std::uint32_t>(mail.SetCc("ann@x", 1252)), row.code);
  }
}

// CR or LF in an address would end the RCPT TO command and start another.
TEST_F(RecipientList, LineBreakInAddressIsRefused) {
  const struct {
    const char *input;
    const char *bcc_before;
  } rows[] = {
      {"ann\r\nRSET", ""},
      {"<Eve> ann\r\nRCPT TO:eve", ""},
      {"ann@x;bob\rx", "ann@x"},
      {"<Bob> b\nob", ""},
      {"a\r\n\r\nDATA;bob", ""},
  };
  for (const auto &row : rows) {
    EXPECT_EQ(mail.SetBcc(row.input), E_INVALIDARG) << row.input;
    EXPECT_EQ(mail.m_bcc, row.bcc_before) << row.input;
    EXPECT_EQ(mail.SetTo(row.input, 0), E_INVALIDARG) << row.input;
    EXPECT_EQ(mail.m_to.find_first_of("\r\n"), std::string::npos) << row.input;
    EXPECT_EQ(mail.SetCc(row.input, 0), E_INVALIDARG) << row.input;
    EXPECT_EQ(mail.m_cc.find_first_of("\r\n"), std::string::npos) << row.input;
  }
  EXPECT_EQ(mail.AddBccAddress("a\r\nb"), 0);
  std::string list;
  EXPECT_EQ(mail.AddRecipient(list, "a\nb", "", 0), 0);
  EXPECT_EQ(list, "");
}

TEST_F(RecipientList, LineBreaksAroundAnAddressAreTrimmed) {
  EXPECT_EQ(mail.SetBcc("\r\nann@x\r\n;bob@x\n"), S_OK);
  EXPECT_EQ(mail.m_bcc, "ann@x,bob@x");
  EXPECT_EQ(mail.SetTo("\r\nann@x\r\n,\r\nBob <b@x>\r\n", 0), S_OK);
  EXPECT_EQ(mail.m_to, "\"\" <ann@x>, \"Bob\" <b@x>");
}

// Copied into the To line, a line break in a name would start a header
// line of the caller's choosing.
TEST_F(RecipientList, LineBreakInNameWithoutServiceIsRefused) {
  EXPECT_EQ(mail.SetTo("ann@x;<Eve\r\nBcc: x> eve@x", 0), E_INVALIDARG);
  EXPECT_EQ(mail.m_to, "\"\" <ann@x>");
  EXPECT_EQ(mail.SetCc("<a\nb> c", 0), E_INVALIDARG);
  EXPECT_EQ(mail.m_cc, "");
}

// Refused, though a word could carry it: no real name holds a line break.
TEST(RecipientListWithService, LineBreakInNameIsRefused) {
  CSmtpMail mail;
  ReplaceMultiLanguage(mail, new CLatin1Service());
  EXPECT_EQ(mail.SetCc("\"Eve\nBcc: x\" <eve@x>", 0), E_INVALIDARG);
  std::string list;
  EXPECT_EQ(mail.AddRecipient(list, "eve@x", "Eve\r\nBcc: x", 0), 0);
  EXPECT_EQ(mail.m_to + mail.m_cc + list, "");
}

// The sender takes the forms of a recipient entry; the address alone goes
// to MAIL FROM, the display part before it in the From line.
TEST(SetFrom, TakesTheEntryForms) {
  CSmtpMail mail;
  ReplaceMultiLanguage(mail, nullptr);
  const struct {
    const char *from;
    HResult result;
    const char *address;
    const char *name;
  } rows[] = {
      {"ann@example.org", S_OK, "ann@example.org", ""},
      {" Ann <ann@example.org> ", S_OK, "ann@example.org", "\"Ann\""},
      {"Nightly Jobs <jobs@example.com>", S_OK, "jobs@example.com", "\"Nightly Jobs\""},
      {"<Nightly> jobs@x", S_OK, "jobs@x", "\"Nightly\""},
      {"\"Lee, Bob\" <b@x>", S_OK, "b@x", "\"Lee, Bob\""},
      {"Lee, Bob <b@x>", S_OK, "b@x", "\"Lee, Bob\""},  // one entry: the comma is the name's
      {"<jobs@x>", S_OK, "jobs@x", ""},
      {"a@x\n", S_OK, "a@x", ""},  // line breaks around an address are trimmed
      {"<jobs@x>", S_OK, "jobs@x", ""},
      {"", kRefusedAddress, "jobs@x", ""},
      {"Ann <>", kRefusedAddress, "jobs@x", ""},
      {"a@x, b@x", kRefusedAddress, "jobs@x", ""},
      {"a>", kMalformedEntry, "jobs@x", ""},
  };
  for (const auto &row : rows) {
    EXPECT_EQ(mail.SetFrom(row.from, 0), row.result) << row.from;
    EXPECT_EQ(mail.m_from, row.address) << row.from;
    EXPECT_EQ(mail.m_fromName, row.name) << row.from;
  }
  EXPECT_EQ(mail.GetRefusedEntry(), "a@x, b@x");
}

TEST(SetFrom, RefusesLineBreaksAndNoText) {
  CSmtpMail mail;
  ReplaceMultiLanguage(mail, nullptr);
  ASSERT_EQ(mail.SetFrom("ann@x", 0), S_OK);
  for (const char *from : {"ann@x\r\nRCPT TO:<eve@x>", "a\rb", "<Eve> a\n b", "\"A\r\n B\" <a@x>"}) {
    EXPECT_EQ(mail.SetFrom(from, 0), E_INVALIDARG);
    EXPECT_EQ(mail.m_from, "ann@x");
  }
  SetThreadLastError(0);
  EXPECT_EQ(mail.SetFrom(nullptr, 0), E_FAIL);
  EXPECT_EQ(mail.m_from, "ann@x");
}

// Shift_JIS: 0x95 0x5C is one character whose second byte is "\".
TEST(MultibyteText, SecondByteIsNeverADelimiter) {
  const CLeadBytes sjis = CLeadBytes::OfCodePage(932);
  const CLeadBytes none;
  const std::string text = "\x95\\;\\";
  EXPECT_EQ(FindCharacter(text, '\\', 0, sjis), 3u);
  EXPECT_EQ(FindCharacter(text, '\\', 0, none), 1u);
  EXPECT_EQ(FindCharacter(text, ';', 0, sjis), 2u);
  EXPECT_EQ(FindCharacter(text, '<', 0, sjis), std::string::npos);

  std::string quoted;
  AppendQuotedText(quoted, "\x95\\\"\\", sjis);
  EXPECT_EQ(quoted, "\x95\\\\\"\\\\");
  quoted.clear();
  AppendQuotedText(quoted, "\x95\\", none);
  EXPECT_EQ(quoted, "\x95\\\\");
}

TEST(MultibyteText, TrimsBlanksAtBothEnds) {
  const CLeadBytes sjis = CLeadBytes::OfCodePage(932);
  const struct {
    const char *text;
    const char *trimmed;
  } rows[] = {
      {" \t\n\v\f\rab c \r\n", "ab c"},
      {"   ", ""},
      {"", ""},
      {" \x95\\ ", "\x95\\"},
      {" a\x95", "a\x95"},  // a lead byte at the end stands alone
      {"\x81 ", "\x81 "},    // its second byte is part of the character
  };
  for (const auto &row : rows) EXPECT_EQ(TrimBlanks(row.text, sjis), row.trimmed) << row.text;
}

TEST(LeadBytes, DoubleByteCodePagesOnly) {
  const struct {
    std::uint32_t code_page;
    std::vector<unsigned> lead;
    std::vector<unsigned> not_lead;
  } rows[] = {
      {932, {0x81, 0x9F, 0xE0, 0xFC}, {0x00, 0x5C, 0x80, 0xA0, 0xDF, 0xFD, 0xFF}},
      {936, {0x81, 0xFE}, {0x80, 0xFF, 0x41}},
      {949, {0x81, 0xFE}, {0x80, 0xFF}},
      {950, {0x81, 0xFE}, {0x80, 0xFF}},
      {1252, {}, {0x81, 0xE0, 0xFE}},
      {65001, {}, {0xC3, 0xE3, 0xF0}},
  };
  for (const auto &row : rows) {
    const CLeadBytes table = CLeadBytes::OfCodePage(row.code_page);
    for (unsigned b : row.lead) EXPECT_TRUE(table.IsLead(static_cast<unsigned char>(b))) << row.code_page << " " << b;
    for (unsigned b : row.not_lead) EXPECT_FALSE(table.IsLead(static_cast<unsigned char>(b))) << row.code_page << " " << b;
  }
}

TEST(LeadBytes, AsciiIsNeverALeadByte) {
  const CLeadBytes ansi = ThreadLeadBytes();
  for (unsigned b = 0; b < 0x80; ++b) EXPECT_FALSE(ansi.IsLead(static_cast<unsigned char>(b))) << b;
}

}  // namespace
