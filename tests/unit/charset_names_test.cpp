// Charset names of code pages: the service's web charset names (the POSIX
// table must give what MLang gives, so one table serves both builds), the
// fallback without a service, and the length limit of the caller's array.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "charset/codepage_names.h"
#include "charset/convert.h"
#include "charset/multi_language.h"
#include "charset/thread_codepage.h"
#include "mime/mime_part.h"
#include "proc/com_guard.h"
#include "tests/support/test_thread_locale.h"

namespace {

// The mark left in an array to show that a call did not touch it.
constexpr char kUntouched[] = "untouched";

struct Array {
  char bytes[kCharsetNameSize];
  Array() { std::memcpy(bytes, kUntouched, sizeof kUntouched); }
  bool Untouched() const { return std::strcmp(bytes, kUntouched) == 0; }
};

// A service that names every code page with a fixed name.
class CFixedNameService final : public CMultiLanguageService {
 public:
  explicit CFixedNameService(std::u16string name) : m_name(std::move(name)) {}
  void AddRef() override {}
  void Release() override {}
  bool GetWebCharset(std::uint32_t, std::u16string &name) override {
    name = m_name;
    return true;
  }
  bool ConvertFromUnicode(std::uint32_t, const char16_t *, std::size_t, std::string &) override {
    return false;
  }
  ~CFixedNameService() override = default;

 private:
  std::u16string m_name;
};

class ServiceNames : public ::testing::Test {
 protected:
  void SetUp() override {
    m_service = CMultiLanguageService::Create();
    ASSERT_NE(m_service, nullptr);
  }
  void TearDown() override {
    if (m_service != nullptr) m_service->Release();
  }
  CComGuard m_com;
  CTestThreadLocale m_locale;
  CMultiLanguageService *m_service = nullptr;
};

struct NameRow {
  std::uint32_t code_page;
  const char *name;
  // What Wine's MLang answers where it differs from Windows: null when it
  // has no such code page. The POSIX table follows Windows.
  const char *wine_name;
};

constexpr const char *kUnknownToWine = nullptr;

// The web charset names MLang gives, which the POSIX table repeats.
constexpr NameRow kNames[] = {
    {437, "ibm437", "ibm437"},
    {850, "ibm850", "ibm850"},
    {866, "cp866", "cp866"},
    {874, "windows-874", "ibm-thai"},  // Wine's name is that of an EBCDIC code page
    {932, "shift_jis", "shift_jis"},
    {936, "gb2312", "gb2312"},
    {949, "ks_c_5601-1987", "ks_c_5601-1987"},
    {950, "big5", "big5"},
    {1250, "windows-1250", "windows-1250"},
    {1251, "windows-1251", "windows-1251"},
    {1252, "windows-1252", "windows-1252"},
    {1253, "windows-1253", "windows-1253"},
    {1254, "windows-1254", "windows-1254"},
    {1255, "windows-1255", "windows-1255"},
    {1256, "windows-1256", "windows-1256"},
    {1257, "windows-1257", "windows-1257"},
    {1258, "windows-1258", "windows-1258"},
    {20127, "us-ascii", "us-ascii"},
    {20866, "koi8-r", "koi8-r"},
    {21866, "koi8-u", "koi8-u"},
    {28591, "iso-8859-1", "iso-8859-1"},
    {28592, "iso-8859-2", "iso-8859-2"},
    {28593, "iso-8859-3", "iso-8859-3"},
    {28594, "iso-8859-4", "iso-8859-4"},
    {28595, "iso-8859-5", "iso-8859-5"},
    {28596, "iso-8859-6", "iso-8859-6"},
    {28597, "iso-8859-7", "iso-8859-7"},
    {28598, "iso-8859-8", "iso-8859-8"},
    {28599, "iso-8859-9", "iso-8859-9"},
    {28603, "iso-8859-13", "iso-8859-13"},
    {28605, "iso-8859-15", "iso-8859-15"},
    {50220, "iso-2022-jp", "iso-2022-jp"},
    {50225, "iso-2022-kr", kUnknownToWine},
    {51932, "euc-jp", "euc-jp"},
    {51949, "euc-kr", kUnknownToWine},
    {54936, "GB18030", "GB18030"},
    {65000, "utf-7", "utf-7"},
    {65001, "utf-8", "utf-8"},
};

TEST(CodePageTable, GivesTheNamesMLangGives) {
  for (const NameRow &row : kNames) {
    const CodePageName *entry = FindCodePage(row.code_page);
    ASSERT_NE(entry, nullptr) << row.code_page;
    EXPECT_STREQ(entry->web_charset, row.name) << row.code_page;
  }
  EXPECT_EQ(FindCodePage(0), nullptr);
  EXPECT_EQ(FindCodePage(12345), nullptr);
}

TEST_F(ServiceNames, NameEachCommonCodePageAsMLangDoes) {
  for (const NameRow &row : kNames) {
    Array out;
    bool named = GetCharsetName(out.bytes, row.code_page, m_service, kCharsetNameSize);
    if (!named) {
      EXPECT_EQ(row.wine_name, kUnknownToWine) << row.code_page;
      EXPECT_TRUE(out.Untouched()) << row.code_page;
    } else if (std::strcmp(out.bytes, row.name) != 0) {
      EXPECT_STREQ(out.bytes, row.wine_name) << row.code_page;
    }
  }
}

TEST_F(ServiceNames, CodePageZeroIsNamedAsTheAnsiCodePage) {
  Array zero, ansi;
  ASSERT_TRUE(GetCharsetName(zero.bytes, 0, m_service, kCharsetNameSize));
  ASSERT_TRUE(GetCharsetName(ansi.bytes, AnsiCodePage(), m_service, kCharsetNameSize));
  EXPECT_STREQ(zero.bytes, ansi.bytes);
}

TEST_F(ServiceNames, UnknownCodePageFailsAndLeavesTheArray) {
  for (std::uint32_t cp : {1u, 12345u, 99999u}) {
    Array out;
    EXPECT_FALSE(GetCharsetName(out.bytes, cp, m_service, kCharsetNameSize)) << cp;
    EXPECT_TRUE(out.Untouched()) << cp;
  }
}

// Text kept as it is, UTF-8 stays UTF-8: the one name besides the guess.
TEST(NamesWithoutService, OnlyZeroLatin1AndUtf8HaveAName) {
  struct Row {
    std::uint32_t code_page;
    const char *name;  // null: none
  };
  for (Row row : {Row{0, "iso-8859-1"}, Row{28591, "iso-8859-1"}, Row{1252, nullptr},
                  Row{65001, "utf-8"}, Row{20127, nullptr}, Row{28592, nullptr}}) {
    Array out;
    EXPECT_EQ(GetCharsetName(out.bytes, row.code_page, nullptr, kCharsetNameSize),
              row.name != nullptr)
        << row.code_page;
    if (row.name != nullptr) {
      EXPECT_STREQ(out.bytes, row.name);
    } else {
      EXPECT_TRUE(out.Untouched()) << row.code_page;
    }
  }
}

TEST(NamesWithoutService, AnEmptyArrayStaysEmptyOnFailure) {
  char out[kCharsetNameSize] = {};
  EXPECT_FALSE(GetCharsetName(out, 1252, nullptr, kCharsetNameSize));
  EXPECT_EQ(out[0], '\0');
}

TEST(NameLimit, ANameOfTheLimitOrMoreIsRefused) {
  CTestThreadLocale locale;
  struct Row {
    std::size_t length;
    bool accepted;
  };
  for (Row row : {Row{1, true}, Row{10, true}, Row{48, true}, Row{49, true}, Row{50, false},
                  Row{51, false}, Row{200, false}}) {
    CFixedNameService service(std::u16string(row.length, u'x'));
    Array out;
    EXPECT_EQ(GetCharsetName(out.bytes, 1252, &service, kCharsetNameSize), row.accepted)
        << row.length;
    if (row.accepted) {
      EXPECT_EQ(std::string(out.bytes), std::string(row.length, 'x'));
    } else {
      EXPECT_TRUE(out.Untouched()) << row.length;
    }
  }
}

TEST(NameLimit, TheFallbackNameKeepsToTheLimitToo) {
  Array out;
  EXPECT_FALSE(GetCharsetName(out.bytes, 0, nullptr, 10));  // "iso-8859-1" is 10 bytes
  EXPECT_TRUE(out.Untouched());
  EXPECT_TRUE(GetCharsetName(out.bytes, 0, nullptr, 11));
  EXPECT_STREQ(out.bytes, "iso-8859-1");
}

TEST(NameLimit, AnEmptyNameIsNoName) {
  CFixedNameService service(u"");
  Array out;
  EXPECT_FALSE(GetCharsetName(out.bytes, 1252, &service, kCharsetNameSize));
  EXPECT_TRUE(out.Untouched());
}

TEST(NameLimit, NullArrayFails) {
  EXPECT_FALSE(GetCharsetName(nullptr, 0, nullptr, kCharsetNameSize));
}

// Locale codesets as nl_langinfo spells them, and the code pages they are.
TEST(CodesetNames, MapToWindowsCodePages) {
  struct Row {
    const char *codeset;
    std::uint32_t code_page;
  };
  for (Row row : {Row{"UTF-8", 65001},          Row{"utf8", 65001},
                  Row{"ISO-8859-1", 28591},     Row{"iso88591", 28591},
                  Row{"ANSI_X3.4-1968", 20127}, Row{"ISO-8859-15", 28605},
                  Row{"KOI8-R", 20866},         Row{"EUC-JP", 51932},
                  Row{"GB18030", 54936},        Row{"BIG5", 950},
                  Row{"CP1252", 1252},          Row{"no-such-codeset", 0},
                  Row{"", 0}}) {
    EXPECT_EQ(CodePageOfCodeset(row.codeset), row.code_page) << row.codeset;
  }
  EXPECT_EQ(CodePageOfCodeset(nullptr), 0u);
}

}  // namespace
