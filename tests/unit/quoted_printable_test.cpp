#include <gtest/gtest.h>

#include <string>

#include "mime/quoted_printable.h"
#include "tests/support/temp_files.h"

namespace {

std::string Encode(const std::string &data, int flags) {
  std::string out(QuotedPrintableCapacity(data.size()), '\0');
  std::size_t length = out.size();
  EXPECT_EQ(EncodeQuotedPrintable(data.data(), data.size(), out.data(), &length, flags), 1);
  out.resize(length);
  return out;
}

TEST(QuotedPrintable, EncodesBytesByClass) {
  struct Row {
    std::string data;
    int flags;
    std::string expected;
  } rows[] = {
      {"", 0, ""},
      {"", kQuotedPrintableSoftEnd, "=\r\n"},
      {"abc", 0, "abc"},
      {"abc", kQuotedPrintableSoftEnd, "abc=\r\n"},
      {"!<>~", 0, "!<>~"},                 // the printable range, both ends
      {"a=b", 0, "a=3Db"},                 // "=" itself is escaped
      {"l1\r\nl2", 0, "l1=0D=0Al2"},       // line breaks never pass through
      {std::string("\0\x7F\x80\xFF", 4), 0, "=00=7F=80=FF"},
      {"a b\tc", 0, "a b\tc"},             // white space below column 64
      {"end ", 0, "end=20"},               // a blank ending the data would end
      {"end\t", 0, "end=09"},              // the line: escaped
      {"end ", kQuotedPrintableSoftEnd, "end =\r\n"},  // not before a soft break
      {".a", 0, ".a"},
      {".a", kQuotedPrintableDoubleDot, "..a"},
      {"a.", kQuotedPrintableDoubleDot, "a."},  // only at a line start
      {"\x2E", kQuotedPrintableDoubleDot | kQuotedPrintableSoftEnd, "..=\r\n"},
  };
  for (const Row &row : rows) EXPECT_EQ(Encode(row.data, row.flags), row.expected) << row.data;
}

TEST(QuotedPrintable, BreaksSoftlyPastColumn64) {
  // 65 literal bytes pass column 64 with the last one.
  EXPECT_EQ(Encode(std::string(65, 'x'), 0), std::string(65, 'x') + "=\r\n");
  EXPECT_EQ(Encode(std::string(64, 'x'), 0), std::string(64, 'x'));
  // White space at column 64 is escaped (and the escape passes the column).
  EXPECT_EQ(Encode(std::string(64, 'x') + " ", 0), std::string(64, 'x') + "=20=\r\n");
  EXPECT_EQ(Encode(std::string(63, 'x') + " y", 0), std::string(63, 'x') + " y=\r\n");
  // An escape that lands past 64 breaks right after it.
  EXPECT_EQ(Encode(std::string(62, 'x') + "=", 0), std::string(62, 'x') + "=3D=\r\n");
  // A line after a soft break starts at column 0 again: its dot is doubled.
  EXPECT_EQ(Encode(std::string(65, 'x') + ".", kQuotedPrintableDoubleDot),
            std::string(65, 'x') + "=\r\n..");
}

TEST(QuotedPrintable, LinesStayWithin68CharactersForAnyData) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::string data = RandomBytes(2000 + seed, seed);
    std::string out = Encode(data, kQuotedPrintableDoubleDot | kQuotedPrintableSoftEnd);
    std::size_t start = 0;
    for (std::size_t crlf; (crlf = out.find("\r\n", start)) != std::string::npos; start = crlf + 2) {
      ASSERT_LE(crlf - start, 68u) << "seed " << seed;
      ASSERT_EQ(out[crlf - 1], '=') << "only soft line breaks";
    }
    EXPECT_EQ(start, out.size()) << "ends with the soft break";
    EXPECT_LE(out.size(), QuotedPrintableCapacity(data.size()));
  }
}

TEST(QuotedPrintable, WorstCaseFitsTheCapacity) {
  // Every byte escaped, and a dot opening every line with doubling.
  std::string escaped(7600, '\xFF');
  EXPECT_LE(Encode(escaped, kQuotedPrintableSoftEnd).size(), QuotedPrintableCapacity(7600));
}

TEST(QuotedPrintable, RefusesWithoutWriting) {
  std::string data = "hello";
  char out[64];
  std::size_t capacity = QuotedPrintableCapacity(data.size()) - 1;
  std::fill(std::begin(out), std::end(out), '#');
  EXPECT_EQ(EncodeQuotedPrintable(data.data(), data.size(), out, &capacity, 0), 0);
  EXPECT_EQ(out[0], '#');
  std::size_t length = sizeof out;
  EXPECT_EQ(EncodeQuotedPrintable(nullptr, 1, out, &length, 0), 0);
  EXPECT_EQ(EncodeQuotedPrintable(data.data(), data.size(), nullptr, &length, 0), 0);
  EXPECT_EQ(EncodeQuotedPrintable(data.data(), data.size(), out, nullptr, 0), 0);
}

}  // namespace
