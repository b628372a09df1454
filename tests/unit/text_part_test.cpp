#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "charset/convert.h"
#include "mime/text_part.h"
#include "tests/support/fake_multi_language.h"
#include "tests/support/memory_channel.h"

namespace {

const char kPlainHeader[] =
    "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: 8bit\r\n\r\n";

// The header of a text with a line over 998 bytes.
const char kQuotedPrintableHeader[] =
    "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n\r\n";

std::string Body(const std::string &text, int flags, const std::string &header = kPlainHeader) {
  CTextPart part;
  // The text is stored before its charset is named, so this holds while
  // the naming is not yet built too.
  part.SetText(text.data(), static_cast<int>(text.size()), nullptr, 28591);
  CMemoryChannel channel;
  EXPECT_EQ(part.WriteTo(&channel, "", flags), 1);
  const std::string &bytes = channel.Bytes();
  EXPECT_EQ(bytes.substr(0, header.size()), header);
  return bytes.substr(header.size());
}

// n bytes of c in quoted-printable: lines of 65 and a soft break.
std::string SoftLines(std::size_t n, char c) {
  std::string out;
  for (; n > 65; n -= 65) out += std::string(65, c) + "=\r\n";
  return out + std::string(n, c);
}

bool CharsetNamingBuilt() {
  char name[kCharsetNameSize] = {};
  return GetCharsetName(name, 0, nullptr, kCharsetNameSize);
}

TEST(TextPartHeader, PrefixAndType) {
  CTextPart plain;
  CHtmlPart html;
  std::string out;
  ASSERT_EQ(plain.FormatPartHeader(out, ""), 1);
  EXPECT_EQ(out, kPlainHeader);
  ASSERT_EQ(html.FormatPartHeader(out, "------=_Next_Part_0000001234.041"), 1);
  EXPECT_EQ(out,
            "\r\n\r\n--------=_Next_Part_0000001234.041\r\nContent-Type: text/html;\r\n"
            "\tcharset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n");
  // Only the first 32 characters of a boundary are used.
  ASSERT_EQ(plain.FormatPartHeader(out, "0123456789012345678901234567890123456789"), 1);
  EXPECT_EQ(out.substr(0, 40), "\r\n\r\n--01234567890123456789012345678901\r\n");
  EXPECT_EQ(plain.FormatPartHeader(out, nullptr), 0);
  EXPECT_STREQ(html.GetContentType(), "text/html");
  EXPECT_STREQ(plain.GetContentType(), "text/plain");
}

TEST(TextPartBody, LinesAndDots) {
  struct Row {
    std::string text;
    int flags;
    std::string sent;
  } rows[] = {
      {"", kWriteSmtp, ""},
      {".\r\n..a", kWriteSmtp, "..\r\n...a"},
      {".\r\n..a", 0, ".\r\n..a"},
      {"a.b\r\nc.", kWriteSmtp, "a.b\r\nc."},
      {".", kWriteSmtp, ".."},
      // Bare line ends: CR LF on the wire with kWriteSmtp, as they are without.
      {"a\n.b", kWriteSmtp, "a\r\n..b"},
      {"a\r.b", kWriteSmtp, "a\r\n..b"},
      {"a\n\r.b", kWriteSmtp, "a\r\n\r\n..b"},
      {"a\n.b\r.c", 0, "a\n.b\r.c"},
      {"\r\n.\r\n", kWriteSmtp, "\r\n..\r\n"},
      {std::string("\xE9\x00\xFF", 3), kWriteSmtp, std::string("\xE9\x00\xFF", 3)},
  };
  for (const Row &row : rows) EXPECT_EQ(Body(row.text, row.flags), row.sent) << row.text;
}

TEST(TextPartBody, LongLinesBreakAt998) {
  // A line of exactly 998 bytes keeps its own line end, no empty line.
  std::string text = std::string(998, 'y') + "\r\nz";
  EXPECT_EQ(Body(text, kWriteSmtp), text);
  text = std::string(998, 'y') + "\nz";
  EXPECT_EQ(Body(text, kWriteSmtp), std::string(998, 'y') + "\r\nz");
  // Without kWriteSmtp a bare LF ends no line: the 8bit writer breaks it.
  text = std::string(600, 'y') + "\n" + std::string(600, 'z');
  EXPECT_EQ(Body(text, 0), std::string(600, 'y') + "\n" + std::string(397, 'z') + "\r\n" +
                               std::string(203, 'z'));
}

// A line over 998 bytes would have to be broken, changing the text: the
// whole body goes out quoted-printable, each line alone, line ends kept.
TEST(TextPartBody, LongLinesGoOutQuotedPrintable) {
  std::string escaped;
  for (int i = 0; i < 22; ++i) escaped += "=E9";
  struct Row {
    std::string text;
    int flags;
    std::string sent;
  } rows[] = {
      {std::string(999, 'x'), kWriteSmtp, SoftLines(999, 'x')},
      {std::string(998, 'y') + ".z", kWriteSmtp, SoftLines(998, 'y') + ".z"},
      {".a \r\n" + std::string(999, 'q') + "\n.b=\r", kWriteSmtp,
       "..a=20\r\n" + SoftLines(999, 'q') + "\r\n..b=3D\r\n"},
      {".a \r\n" + std::string(999, 'q'), 0, ".a=20\r\n" + SoftLines(999, 'q')},
      // Pieces of 1024 bytes join with a soft break at column 0.
      {std::string(1024, 'w') + ".", kWriteSmtp, SoftLines(1024, 'w') + "=\r\n.."},
      // The encoder ends a full line with a soft break, also the last.
      {std::string(22 * 46, '\xE9'), kWriteSmtp, [&] {
         std::string out;
         for (int i = 0; i < 46; ++i) out += escaped + "=\r\n";
         return out;
       }()},
  };
  for (const Row &row : rows)
    EXPECT_EQ(Body(row.text, row.flags, kQuotedPrintableHeader), row.sent) << row.text.substr(0, 20);
  CHtmlPart html;
  html.SetText(std::string(1000, 'h').c_str(), -1, nullptr, 0);
  std::string header;
  ASSERT_EQ(html.FormatPartHeader(header, "B"), 1);
  EXPECT_NE(header.find("text/html;"), std::string::npos);
  EXPECT_NE(header.find("Encoding: quoted-printable\r\n"), std::string::npos);
  // Only a body sent as 8bit puts 8-bit bytes on the wire.
  const std::pair<std::string, bool> eightBit[] = {
      {"caf\xE9", true}, {"plain", false}, {std::string(999, '\xE9'), false}};
  for (const auto &[text, sends] : eightBit) {
    CTextPart part;
    part.SetText(text.c_str(), -1, nullptr, 0);
    EXPECT_EQ(part.SendsEightBitBytes(), sends) << text.substr(0, 8);
  }
}

TEST(TextPartBody, StreamsThroughTheBuffer) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += ".line " + std::to_string(i) + "\r\n";
  CTextPart part;
  part.SetText(text.data(), static_cast<int>(text.size()), nullptr, 0);
  CMemoryChannel channel;
  ASSERT_EQ(part.WriteTo(&channel, "", kWriteSmtp), 1);
  EXPECT_GE(channel.WriteCount(), 9u);
  for (const std::string &write : channel.Writes()) EXPECT_LE(write.size(), 4096u);
  std::string expected = kPlainHeader;
  for (int i = 0; i < 3000; ++i) expected += "..line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(channel.Bytes(), expected);
}

TEST(TextPartBody, Failures) {
  CTextPart part;
  part.SetText("text", 4, nullptr, 0);
  CMemoryChannel channel;
  EXPECT_EQ(part.WriteTo(nullptr, "", kWriteSmtp), 0);
  EXPECT_EQ(part.WriteTo(&channel, nullptr, kWriteSmtp), 0);
  EXPECT_EQ(channel.WriteCount(), 0u);
  std::string big(10000, 'b');
  part.SetText(big.data(), static_cast<int>(big.size()), nullptr, 0);
  for (std::size_t n = 1; n <= 3; ++n) {
    CMemoryChannel failing;
    failing.FailFromWrite(n);
    EXPECT_EQ(part.WriteTo(&failing, "", kWriteSmtp), 0) << n;
    EXPECT_EQ(failing.WriteCount(), n);
  }
}

TEST(TextPartText, WithoutServiceBytesAreKept) {
  if (!CharsetNamingBuilt()) GTEST_SKIP() << "charset naming not built in this tree";
  CTextPart part;
  EXPECT_EQ(part.SetText("abc\0def", 7, nullptr, 0), 1);
  EXPECT_EQ(part.Text(), std::string("abc\0def", 7));
  EXPECT_STREQ(part.GetCharset(), "iso-8859-1");
  EXPECT_EQ(part.SetText("up to the zero\0rest", -1, nullptr, 28591), 1);
  EXPECT_EQ(part.Text(), "up to the zero");
  EXPECT_EQ(part.SetText("x", 1, nullptr, 1252), 0);  // no name without a service
}

TEST(TextPartText, Refusals) {
  CTextPart part;
  EXPECT_EQ(part.SetText(nullptr, 0, nullptr, 0), 0);
  CFakeMultiLanguage refusing;
  part.SetText("kept", 4, nullptr, 0);
  EXPECT_EQ(part.SetText("other", 5, &refusing, 0), 0);
  EXPECT_EQ(part.Text(), "kept");
}

TEST(TextPartCopy, KeepsTextCharsetAndKind) {
  CHtmlPart html;
  html.SetText("<p>hi</p>", -1, nullptr, 0);
  std::unique_ptr<CMimePart> copy(html.Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy->GetContentType(), "text/html");
  EXPECT_STREQ(copy->GetCharset(), html.GetCharset());
  EXPECT_EQ(static_cast<CTextPart *>(copy.get())->Text(), html.Text());
  CTextPart plain;
  plain.SetText("hi", -1, nullptr, 0);
  std::unique_ptr<CMimePart> plain_copy(plain.Clone());
  EXPECT_STREQ(plain_copy->GetContentType(), "text/plain");
  EXPECT_EQ(static_cast<CTextPart *>(plain_copy.get())->Text(), "hi");
}

}  // namespace
