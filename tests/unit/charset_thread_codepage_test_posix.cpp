// The thread code page on POSIX systems: the codeset of the thread's own
// locale, as a Windows code page number, and conversions through it.
#include <locale.h>

#include <string>

#include <gtest/gtest.h>

#include "charset/iconv_convert.h"
#include "charset/thread_codepage.h"

namespace {

// Sets a named locale for the calling thread while it lives.
class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(const char *name)
      : m_locale(newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0))) {
    if (m_locale != static_cast<locale_t>(0)) m_previous = uselocale(m_locale);
  }
  ~ScopedThreadLocale() {
    if (m_locale == static_cast<locale_t>(0)) return;
    uselocale(m_previous);
    freelocale(m_locale);
  }
  bool Active() const { return m_locale != static_cast<locale_t>(0); }

 private:
  locale_t m_locale;
  locale_t m_previous = static_cast<locale_t>(0);
};

TEST(PosixThreadCodePage, FollowsTheThreadLocale) {
  struct Row {
    const char *locale;
    std::uint32_t code_page;
  };
  for (Row row : {Row{"C.UTF-8", 65001}, Row{"C", 20127}, Row{"POSIX", 20127}}) {
    ScopedThreadLocale locale(row.locale);
    ASSERT_TRUE(locale.Active()) << row.locale;
    EXPECT_EQ(ThreadCodePage(), row.code_page) << row.locale;
    EXPECT_EQ(AnsiCodePage(), row.code_page) << row.locale;
  }
}

TEST(PosixThreadCodePage, WidensUtf8AndReplacesBrokenBytes) {
  ScopedThreadLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.Active());
  std::u16string wide;
  ASSERT_TRUE(WidenFromThreadCodePage("caf\xC3\xA9 \xF0\x9F\x98\x80", 10, wide));
  EXPECT_EQ(wide, u"caf\u00E9 \U0001F600");
  ASSERT_TRUE(WidenFromThreadCodePage("a\xFF" "b", 3, wide));
  EXPECT_EQ(wide, u"a?b");
}

TEST(PosixThreadCodePage, NarrowsToAsciiWithReplacement) {
  ScopedThreadLocale locale("C");
  ASSERT_TRUE(locale.Active());
  std::string narrow;
  // A surrogate pair is one character, so one replacement.
  const std::u16string text = u"utf-8 \u00E9\U0001F600.";
  ASSERT_TRUE(NarrowToThreadCodePage(text.data(), text.size(), narrow));
  EXPECT_EQ(narrow, "utf-8 ??.");
}

// The replacement is a character of the target: two bytes in UTF-16, and
// outside any shift state of ISO-2022-JP.
TEST(IconvReplacement, IsWrittenInTheTargetEncoding) {
  struct Row {
    const char *from, *to;
    std::string input;
    std::size_t unit;
    std::string output;
  };
  const Row rows[] = {
      {"UTF-8", "UTF-16LE", "a\xFF" "b", 1, std::string("a\0?\0b\0", 6)},
      {"UTF-16LE", "ISO-2022-JP", std::string("\xE5\x65\xE9\x00\x2C\x67", 6), 2,
       "\x1B$BF|\x1B(B?\x1B$BK\\\x1B(B"},
      // 8-bit sources are skipped byte by byte, a truncated sequence too.
      {"UTF-8", "ISO-8859-1", "x\xE4\xB8\xADy\xC3", 1, "x???y?"},
      {"UTF-16LE", "ASCII", std::string("\x3D\xD8\x00\xDEz\0", 6), 2, "?z"},
  };
  for (const Row &row : rows) {
    std::string out;
    ASSERT_TRUE(IconvConvert(row.from, row.to, row.input.data(), row.input.size(), row.unit, out))
        << row.to;
    EXPECT_EQ(out, row.output) << row.to;
  }
  std::string out;
  EXPECT_FALSE(IconvConvert("UTF-8", "no-such-codeset", "a", 1, 1, out));
}

}  // namespace
