// Conversion of caller text to a message code page through the service:
// code page 0, explicit targets, the text's end at its first zero byte,
// replacement of characters the target lacks, and the service's own
// conversion and reference counting.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "charset/convert.h"
#include "charset/multi_language.h"
#include "charset/system_name.h"
#include "charset/thread_codepage.h"
#include "charset/threads.h"
#include "charset/utf8.h"
#include "proc/com_guard.h"
#include "tests/support/test_thread_locale.h"

namespace {

// "café" followed by the euro sign, as it arrives in the test threads'
// code pages: C.UTF-8 on POSIX, usually 1252 on Windows.
struct Sample {
  std::uint32_t code_page;
  const char *text;
};
constexpr Sample kSamples[] = {
    {65001, "caf\xC3\xA9 \xE2\x82\xAC"},
    {1252, "caf\xE9 \x80"},
};

const char *SampleText() {
  for (const Sample &s : kSamples)
    if (s.code_page == ThreadCodePage()) return s.text;
  return nullptr;
}

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_locale.Active());
    m_service = CMultiLanguageService::Create();
    ASSERT_NE(m_service, nullptr);
    m_sample = SampleText();
    if (m_sample == nullptr) GTEST_SKIP() << "no sample text for code page " << ThreadCodePage();
  }
  void TearDown() override {
    if (m_service != nullptr) m_service->Release();
  }
  CComGuard m_com;
  CTestThreadLocale m_locale;
  CMultiLanguageService *m_service = nullptr;
  const char *m_sample = nullptr;
};

TEST_F(Conversion, CodePageZeroIsTheAnsiCodePage) {
  // The test threads' code page is the ANSI one, so the bytes stay.
  ASSERT_EQ(AnsiCodePage(), ThreadCodePage());
  std::string out;
  ASSERT_TRUE(ConvertText(m_service, 0, m_sample, out));
  EXPECT_EQ(out, m_sample);
}

TEST_F(Conversion, ToEachTargetCodePage) {
  struct Row {
    std::uint32_t code_page;
    std::string bytes;
  };
  const Row rows[] = {
      {65001, "caf\xC3\xA9 \xE2\x82\xAC"},
      {1252, "caf\xE9 \x80"},
      {28605, "caf\xE9 \xA4"},  // ISO 8859-15 has the euro at 0xA4
      {850, "caf\x82 ?"},  // code page 850 has no euro sign
  };
  for (const Row &row : rows) {
    std::string out;
    EXPECT_TRUE(ConvertText(m_service, row.code_page, m_sample, out)) << row.code_page;
    EXPECT_EQ(out, row.bytes) << row.code_page;
  }
}

TEST_F(Conversion, EmptyTextGivesNoBytes) {
  std::string out = "stale";
  EXPECT_TRUE(ConvertText(m_service, 0, "", out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(ConvertText(m_service, 65001, "", out));
  EXPECT_TRUE(out.empty());
}

TEST_F(Conversion, TextEndsAtItsFirstZeroByte) {
  const char text[] = "ab\0cd";
  std::string out;
  ASSERT_TRUE(ConvertText(m_service, 0, text, out));
  EXPECT_EQ(out, "ab");
}

TEST_F(Conversion, LongTextsConvertWhole) {
  // Past any small fixed buffer: 127, 128 and many more bytes.
  for (std::size_t length : {127u, 128u, 129u, 5000u}) {
    std::string text(length, 'x');
    text[length - 1] = 'y';
    std::string out;
    ASSERT_TRUE(ConvertText(m_service, 0, text.c_str(), out)) << length;
    EXPECT_EQ(out, text) << length;
  }
}

TEST_F(Conversion, RefusalsLeaveNothing) {
  std::string out = "stale";
  EXPECT_FALSE(ConvertText(nullptr, 0, m_sample, out));
  EXPECT_TRUE(out.empty());
  out = "stale";
  EXPECT_FALSE(ConvertText(m_service, 0, nullptr, out));
  EXPECT_TRUE(out.empty());
  out = "stale";
  EXPECT_FALSE(ConvertText(m_service, 12345, m_sample, out));
  EXPECT_TRUE(out.empty());
}

// UTF-8 text is read as UTF-8, whatever the thread code page: copied to
// UTF-8 as it is, converted to other targets, refused when not well formed.
TEST_F(Conversion, Utf8SourceIsReadAsUtf8) {
  const char kEmoji[] = "\xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5";
  struct Row {
    std::uint32_t code_page;
    const char *text;
    const char *bytes;  // null: refused
  } rows[] = {
      {65001, kEmoji, kEmoji},
      {1252, "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {932, "\xE6\x97\xA5", "\x93\xFA"},
      {65001, "\xC0\xAF", nullptr},          // "/" in an overlong form
      {65001, "\xED\xA0\x80", nullptr},      // a surrogate
      {65001, "a\xE2\x82", nullptr},          // cut short
      {65001, "\xF4\x90\x80\x80", nullptr},  // beyond U+10FFFF
      {1252, "caf\xE9", nullptr},             // Latin-1
  };
  for (const Row &row : rows) {
    std::string out;
    EXPECT_EQ(ConvertText(m_service, row.code_page, row.text, out, TextSource::kUtf8),
              row.bytes != nullptr)
        << row.text;
    EXPECT_EQ(out, row.bytes != nullptr ? row.bytes : "") << row.text;
  }
}

// Names for the system are converted exactly or not at all: never with a
// replacement or a look-alike (U+0101 is "a" in 1252 by best fit).
TEST_F(Conversion, Utf8ToThreadCodePageExactlyOrNotAtAll) {
  std::string out;
  ASSERT_TRUE(ThreadCodePageFromUtf8("caf\xC3\xA9 \xE2\x82\xAC", out));
  EXPECT_EQ(out, m_sample);
  const bool utf8 = ThreadCodePage() == kUtf8CodePage;
  for (const char *text : {"\xE6\x97\xA5", "\xC4\x81", "\xF0\x9F\x98\x80"})
    EXPECT_EQ(ThreadCodePageFromUtf8(text, out), utf8) << text;
  EXPECT_FALSE(ThreadCodePageFromUtf8("\xED\xA0\x80", out));
}

// A name the system looks up keeps every character in its UTF-16 form; a
// message shows UTF-8 text in the thread code page.
TEST_F(Conversion, SystemNamesWhole) {
  struct Row {
    const char *text;
    TextSource source;
    const char16_t *wide;  // null: no UTF-16 form
  } rows[] = {
      {"\xE6\x97\xA5\xE6\x9C\xAC.example", TextSource::kUtf8, u"\u65E5\u672C.example"},
      {"\xF0\x9F\x98\x80.txt", TextSource::kUtf8, u"\U0001F600.txt"},
      {m_sample, TextSource::kThreadCodePage, u"caf\u00E9 \u20AC"},
      {"\xC0\xAF", TextSource::kUtf8, nullptr},
  };
  for (const Row &row : rows) {
    std::u16string wide;
    EXPECT_EQ(WideName(row.text, row.source, wide), row.wide != nullptr) << row.text;
    EXPECT_EQ(wide, row.wide != nullptr ? row.wide : u"") << row.text;
  }
  EXPECT_EQ(ClientText("caf\xC3\xA9 \xE2\x82\xAC", TextSource::kUtf8), m_sample);
  EXPECT_EQ(ClientText(m_sample, TextSource::kThreadCodePage), m_sample);
}

TEST_F(Conversion, FirstUsesOnManyThreadsAgree) {
  // The thread code page rule is decided once per process, by whichever
  // thread comes first; every thread must see the same result.
  constexpr int kThreads = 4;
  std::vector<std::u16string> results(kThreads);
  std::vector<CThread> threads(kThreads);
  for (int i = 0; i < kThreads; ++i)
    ASSERT_TRUE(threads[static_cast<std::size_t>(i)].Start([&results, i] {
      CTestThreadLocale locale;
      WidenFromThreadCodePage("abc", 3, results[static_cast<std::size_t>(i)]);
    }));
  for (CThread &t : threads) t.Join();
  for (const std::u16string &r : results) EXPECT_EQ(r, u"abc");
}

class Service : public Conversion {};

// Characters chosen so that no "best fit" applies: Windows maps some
// letters to a near one (e to e without accent), iconv replaces them.
TEST_F(Service, ReplacesWhatTheTargetCannotHold) {
  struct Row {
    std::uint32_t code_page;
    std::u16string text;
    std::string bytes;
  };
  const Row rows[] = {
      {1252, u"a\u4E2Db", "a?b"},
      {28591, u"a\u4E2D\u4E2Db", "a??b"},
      {20127, u"x\u4E2D", "x?"},
      {65001, u"a\u4E2Db", "a\xE4\xB8\xAD" "b"},
      {932, u"\u65E5\u672C", "\x93\xFA\x96\x7B"},
      {51932, u"\u65E5\u672C", "\xC6\xFC\xCB\xDC"},
      {50220, u"\u65E5\u672C", "\x1B$BF|K\\\x1B(B"},
      {936, u"\u4E2D", "\xD6\xD0"},
      {1251, u"\u0416", "\xC6"},
      {20866, u"\u0416\u20AC", "\xF6?"},
  };
  for (const Row &row : rows) {
    std::string out;
    EXPECT_TRUE(m_service->ConvertFromUnicode(row.code_page, row.text.data(), row.text.size(), out))
        << row.code_page;
    EXPECT_EQ(out, row.bytes) << row.code_page;
  }
}

TEST_F(Service, UnknownCodePageIsRefused) {
  std::string out = "stale";
  EXPECT_FALSE(m_service->ConvertFromUnicode(12345, u"abc", 3, out));
  EXPECT_TRUE(out.empty());
}

TEST_F(Service, StaysAliveWhileReferenced) {
  m_service->AddRef();
  m_service->Release();
  std::u16string name;
  EXPECT_TRUE(m_service->GetWebCharset(65001, name));
  EXPECT_EQ(name, u"utf-8");
  // Each created object has its own count.
  CMultiLanguageService *other = CMultiLanguageService::Create();
  ASSERT_NE(other, nullptr);
  other->AddRef();
  other->Release();
  other->Release();
  EXPECT_TRUE(m_service->GetWebCharset(1252, name));
}

}  // namespace
