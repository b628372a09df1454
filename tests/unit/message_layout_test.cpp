#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mail/content_type.h"
#include "mail/smtp_mail.h"
#include "mime/text_part.h"
#include "tests/support/fixed_header.h"
#include "tests/support/known_content_type.h"
#include "tests/support/memory_channel.h"
#include "tests/support/temp_files.h"

namespace {

const char kBoundary[] = "------=_Next_Part_0000001234.041";

// A mail with a fixed clock, Message-ID and boundary, and no service: its
// bytes are the same on every machine.
class CTestMail : public CFixedHeader<CSmtpMail> {
 public:
  CTestMail() { SetMultiLanguage(nullptr); }
  std::uint32_t BoundaryTickCount() const override { return m_tick; }
  int BoundaryRandom() const override { return m_random; }
  void Add(CMimePart *part) { MutableParts().emplace_back(part); }

  std::uint32_t m_tick = 1234;
  int m_random = 5041;
};

// An attachment as its writer will send it: header lines after the
// prefix, then the data.
class CFakeAttachment : public CMimePart {
 public:
  int WriteTo(COutputChannel *channel, const char *boundary, int) override {
    std::string header;
    if (channel == nullptr || !FormatPartHeader(header, boundary)) return 0;
    header += "QUJD";
    return channel->WriteBytes(header.data(), header.size()) ? 1 : 0;
  }
  const char *GetContentType() const override { return "application/octet-stream"; }
  CMimePart *Clone() const override { return new CFakeAttachment(); }
  int FormatPartHeader(std::string &out, const char *boundary) override {
    out = boundary[0] != '\0' ? std::string("\r\n\r\n--") + boundary : "MIME-Version: 1.0";
    out += "\r\nContent-Type: application/octet-stream;\r\n\tcharset=\"iso-8859-1\";\r\n"
           "\tname=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment;\r\n\tfilename=\"a.bin\"\r\n\r\n";
    return 1;
  }
};

CTextPart *Text(const char *text, bool html = false) {
  CTextPart *part = html ? new CHtmlPart() : new CTextPart();
  part->SetText(text, -1, nullptr, 0);
  return part;
}

const char kHeaderBlock[] =
    "Date: Tue, 5 Mar 2024 09:07:03 +0530\r\n"
    "From: <ann@example.com>\r\n"
    "Subject: Hello\r\n"
    "To: \"Bob\" <bob@example.com>\r\n"
    "Message-ID: <18e0f.4d2.1.00000000075bcd15@example.com>\r\n";

void Fill(CTestMail &mail) {
  mail.m_from = "ann@example.com";
  mail.m_subject = "Hello";
  std::strcpy(mail.m_subjectCharset, "iso-8859-1");
  mail.m_to = "\"Bob\" <bob@example.com>";
  mail.m_bcc = "hidden@example.com";
}

std::string Written(CSmtpMail &mail, const char *boundary = "") {
  CMemoryChannel channel;
  EXPECT_EQ(mail.WriteTo(&channel, boundary, kWriteSmtp), 1);
  return channel.Bytes();
}

TEST(Boundary, TickAndRandomZeroPadded) {
  struct Row {
    std::uint32_t tick;
    int random;
    const char *boundary;
  } rows[] = {
      {1234, 5041, "------=_Next_Part_0000001234.041"},
      {0, 0, "------=_Next_Part_0000000000.000"},
      {4294967295u, 999, "------=_Next_Part_4294967295.999"},
  };
  for (const Row &row : rows) {
    CTestMail mail;
    mail.Add(Text("a"));
    mail.Add(new CFakeAttachment());
    mail.m_tick = row.tick;
    mail.m_random = row.random;
    char out[33];
    ASSERT_EQ(mail.MakeBoundary(out, sizeof out), 1);
    EXPECT_STREQ(out, row.boundary);
    EXPECT_EQ(std::strlen(out), 32u);
    EXPECT_EQ(mail.MakeBoundary(out, 32), 0);  // no room for the NUL
  }
}

TEST(Boundary, EmptyBelowTwoParts) {
  CTestMail mail;
  char out[33] = "x";
  EXPECT_EQ(mail.MakeBoundary(out, sizeof out), 1);
  EXPECT_STREQ(out, "");
  mail.Add(Text("a"));
  EXPECT_EQ(mail.MakeBoundary(out, sizeof out), 1);
  EXPECT_STREQ(out, "");
}

// The platform's tick count and rand, through a mail that only adds parts.
class CPlainMail : public CSmtpMail {
 public:
  void Add(CMimePart *part) { MutableParts().emplace_back(part); }
};

TEST(Boundary, PlatformTickCountAndRandom) {
  CPlainMail mail;
  mail.Add(Text("a"));
  mail.Add(Text("b"));
  char out[33];
  ASSERT_EQ(mail.MakeBoundary(out, sizeof out), 1);
  std::string b = out;
  ASSERT_EQ(b.size(), 32u);
  EXPECT_EQ(b.substr(0, 18), "------=_Next_Part_");
  EXPECT_EQ(b[28], '.');
  for (std::size_t i = 18; i < 32; ++i)
    if (i != 28) {
      EXPECT_TRUE(b[i] >= '0' && b[i] <= '9') << b;
    }
}

TEST(MessageLayout, PlainTextAlone) {
  CTestMail mail;
  Fill(mail);
  mail.Add(Text("Hi Bob,\r\n.\r\nAnn"));
  EXPECT_EQ(Written(mail), std::string(kHeaderBlock) +
                               "X-Priority: 3\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Type: text/plain;\r\n"
                               "\tcharset=\"iso-8859-1\"\r\n"
                               "Content-Transfer-Encoding: 8bit\r\n"
                               "\r\n"
                               "Hi Bob,\r\n..\r\nAnn");
}

TEST(MessageLayout, HtmlAndAttachmentInMultipart) {
  CTestMail mail;
  Fill(mail);
  mail.Add(Text("<p>Hi</p>", true));
  mail.Add(new CFakeAttachment());
  EXPECT_EQ(Written(mail), std::string(kHeaderBlock) +
                               "X-Priority: 3\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Type: multipart/mixed;\r\n"
                               "\tboundary=\"" + kBoundary + "\"\r\n"
                               "\r\n\r\n--" + kBoundary + "\r\n"
                               "Content-Type: text/html;\r\n"
                               "\tcharset=\"iso-8859-1\"\r\n"
                               "Content-Transfer-Encoding: 8bit\r\n"
                               "\r\n"
                               "<p>Hi</p>"
                               "\r\n\r\n--" + kBoundary + "\r\n"
                               "Content-Type: application/octet-stream;\r\n"
                               "\tcharset=\"iso-8859-1\";\r\n"
                               "\tname=\"a.bin\"\r\n"
                               "Content-Transfer-Encoding: base64\r\n"
                               "Content-Disposition: attachment;\r\n"
                               "\tfilename=\"a.bin\"\r\n"
                               "\r\n"
                               "QUJD"
                               "\r\n\r\n--" + kBoundary + "--\r\n");
}

TEST(MessageLayout, OnlyAnAttachmentIsSinglePart) {
  CTestMail mail;
  Fill(mail);
  mail.Add(new CFakeAttachment());
  std::string bytes = Written(mail);
  EXPECT_EQ(bytes.substr(0, sizeof kHeaderBlock - 1 + 34),
            std::string(kHeaderBlock) + "X-Priority: 3\r\nMIME-Version: 1.0\r\n");
  EXPECT_EQ(bytes.find("multipart"), std::string::npos);
}

TEST(MessageLayout, NoPartsIsHeaderAndPriority) {
  CTestMail mail;
  Fill(mail);
  EXPECT_EQ(Written(mail), std::string(kHeaderBlock) + "X-Priority: 3\r\n");
}

TEST(MessageLayout, NestedMessageAnnouncesItself) {
  CTestMail mail;
  mail.Add(Text("inner"));
  EXPECT_EQ(Written(mail, "OUTER"),
            "\r\n\r\n--OUTER\r\n"
            "Content-Type: message/rfc822;\r\n\tname=\"email\"\r\n"
            "Content-Transfer-Encoding: 8bit\r\n"
            "Content-Disposition: attachment;\r\n\tfilename=\"email\"\r\n\r\n"
            "Date: Tue, 5 Mar 2024 09:07:03 +0530\r\n"
            "Message-ID: <18e0f.4d2.1.00000000075bcd15@host.example>\r\n"
            "X-Priority: 3\r\n"
            "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
            "Content-Transfer-Encoding: 8bit\r\n\r\ninner");
}

TEST(MessageLayout, WritingTwiceGivesTheSameBytes) {
  CTestMail mail;
  Fill(mail);
  mail.Add(Text("a"));
  mail.Add(new CFakeAttachment());
  EXPECT_EQ(Written(mail), Written(mail));
}

TEST(MessageLayout, EveryFailedWriteFailsTheMessage) {
  CTestMail mail;
  Fill(mail);
  mail.Add(Text("a"));
  mail.Add(new CFakeAttachment());
  CMemoryChannel all;
  ASSERT_EQ(mail.WriteTo(&all, "", kWriteSmtp), 1);
  for (std::size_t n = 1; n <= all.WriteCount(); ++n) {
    CMemoryChannel channel;
    channel.FailFromWrite(n);
    EXPECT_EQ(mail.WriteTo(&channel, "", kWriteSmtp), 0) << n;
    EXPECT_EQ(channel.WriteCount(), n);  // nothing tried after the failure
  }
  EXPECT_EQ(mail.WriteTo(nullptr, "", kWriteSmtp), 0);
  CMemoryChannel channel;
  EXPECT_EQ(mail.WriteTo(&channel, nullptr, kWriteSmtp), 0);
}

TEST(MessageLayout, PartHeaderOfTheMail) {
  CTestMail mail;
  mail.m_priority = 1;
  mail.m_extraHeader = "X-Extra: 1\r\n";
  std::string out = "old";
  ASSERT_EQ(mail.FormatPartHeader(out, ""), 1);
  EXPECT_EQ(out, "X-Priority: 1\r\nX-Extra: 1\r\n");
  ASSERT_EQ(mail.FormatPartHeader(out, "B"), 1);  // fewer than two parts
  EXPECT_EQ(out, "");
  mail.Add(Text("a"));
  mail.Add(Text("b"));
  ASSERT_EQ(mail.FormatPartHeader(out, "B"), 1);
  EXPECT_EQ(out, "X-Priority: 1\r\nX-Extra: 1\r\nMIME-Version: 1.0\r\n"
                 "Content-Type: multipart/mixed;\r\n\tboundary=\"B\"\r\n");
  EXPECT_EQ(mail.FormatPartHeader(out, nullptr), 0);
}

// Where the rows go in each kind of body, and how the body is sent.
TEST(MessageLayout, RowsInTheBody) {
  const char kRows[] = R"([{"a":1}])";
  const std::string table = std::string("<table style=\"border-collapse:collapse;border:1px solid "
                                        "#999999;font-family:Arial,Helvetica,sans-serif;font-size:"
                                        "10pt\">\r\n<tr><th style=\"border:1px solid #999999;padding:"
                                        "3px 6px;background-color:#dddddd;text-align:left\">a</th>"
                                        "</tr>\r\n<tr><td style=\"border:1px solid #999999;padding:"
                                        "3px 6px;text-align:right\">1</td></tr>\r\n</table>\r\n");
  const std::string text = "a\r\n-\r\n1\r\n\r\n(1 rows)\r\n";
  struct Row {
    const char *type;
    const char *message;  // null: none
    std::string body;
  } rows[] = {
      {"text/html", "<p>a</p><!--rows--><p>b</p>", "<p>a</p>" + table + "<p>b</p>"},
      {"text/html", "<html><body>x</BODY></html>", "<html><body>x" + table + "</BODY></html>"},
      {"TEXT/HTML", "x", "x" + table},
      {"text/html", nullptr, table},
      {"text/plain", "Rows:", "Rows:\r\n\r\n" + text},
      {"text/plain", "Rows:\n", "Rows:\r\n\r\n" + text},
      {"text/plain", nullptr, text},
  };
  for (const Row &row : rows) {
    CTestMail mail;
    if (row.message != nullptr) {
      ASSERT_EQ(mail.SetBody(row.message, -1, row.type, kUtf8CodePage, TextSource::kUtf8), S_OK);
    }
    ASSERT_EQ(mail.SetRows(kRows, TextSource::kUtf8, row.type, ""), S_OK);
    const std::string bytes = Written(mail);
    const std::string head = "charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    ASSERT_NE(bytes.find(head), std::string::npos) << bytes;
    EXPECT_EQ(bytes.substr(bytes.find(head) + head.size()), row.body);
  }
  // A row line past 998 bytes sends the body in quoted-printable; the
  // refusal of rows that are no table leaves the body as it was.
  CTestMail mail;
  ASSERT_EQ(mail.SetBody("x", -1, "text/plain", kUtf8CodePage, TextSource::kUtf8), S_OK);
  EXPECT_EQ(mail.SetRows("[{\"a\":1},{\"b\"}]", TextSource::kUtf8, "text/plain", ""), kRefusedRows);
  EXPECT_EQ(mail.GetRowsFault().offset, 13u);
  const std::string w(300, 'w');  // shown as 256 columns: four pass 998
  const std::string wide = "[{\"a\":\"" + w + "\",\"b\":\"" + w + "\",\"c\":\"" + w + "\",\"d\":\"" + w + "\"}]";
  ASSERT_EQ(mail.SetRows(wide, TextSource::kUtf8, "text/plain", ""), S_OK);
  EXPECT_NE(Written(mail).find("quoted-printable\r\n\r\nx\r\n\r\na"), std::string::npos);
}

TEST(MessageLayout, RowsAsCsvAttachmentAfterTheBody) {
  CTestMail mail;
  Fill(mail);
  mail.Add(Text("m"));
  mail.Add(new CFakeAttachment());
  ASSERT_EQ(mail.SetRows(R"([{"a":"x,y"}])", TextSource::kUtf8, "text/plain", "rows.csv"), S_OK);
  const std::string bytes = Written(mail);
  const std::string csv = std::string("\r\n\r\n--") + kBoundary + "\r\nContent-Type: text/csv;\r\n"
                          "\tcharset=\"utf-8\";\r\n\tname=\"rows.csv\"\r\n"
                          "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                          "\tfilename=\"rows.csv\"\r\n\r\n77u/YQ0KIngseSINCg==\r\n";
  ASSERT_NE(bytes.find(csv), std::string::npos) << bytes;
  EXPECT_LT(bytes.find("\r\n\r\nm"), bytes.find(csv));
  EXPECT_LT(bytes.find(csv), bytes.find("a.bin"));
}

// An image the HTML body shows by "cid:" goes inline, with the body, in
// one multipart/related part; an attachment it does not show stays one.
TEST(MessageLayout, InlineImageAndBodyAreRelated) {
  CKnownContentType known;
  CTempDir dir;
  const std::string chart = dir.Write("chart" + known.Extension(), "ABC");
  const std::string other = dir.Write("other.bin", "");
  CTestMail mail;
  Fill(mail);
  const std::string html = "<img src=\"cid:chart" + known.Extension() + "\">";
  mail.Add(Text(html.c_str(), true));
  ASSERT_EQ(mail.AddAttachment(other.c_str(), kDefaultContentType, 0, 0), 1);
  ASSERT_EQ(mail.AddAttachment(chart.c_str(), kDefaultContentType, 0, 0), 1);
  const std::string related = "------=_Rel_Part_0000001234.041";
  EXPECT_EQ(Written(mail).substr(sizeof kHeaderBlock - 1),
            std::string("X-Priority: 3\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n"
                        "\tboundary=\"") + kBoundary + "\"\r\n"
            "\r\n\r\n--" + kBoundary + "\r\nContent-Type: multipart/related;\r\n"
            "\ttype=\"text/html\";\r\n\tboundary=\"" + related + "\"\r\n"
            "\r\n\r\n--" + related + "\r\nContent-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
            "Content-Transfer-Encoding: 8bit\r\n\r\n" + html +
            "\r\n\r\n--" + related + "\r\nContent-Type: " + known.Type() + ";\r\n"
            "\tcharset=\"iso-8859-1\";\r\n\tname=\"chart" + known.Extension() + "\"\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-ID: <chart" + known.Extension() + ">\r\n"
            "Content-Disposition: inline;\r\n\tfilename=\"chart" + known.Extension() + "\"\r\n\r\n"
            "QUJD\r\n\r\n\r\n--" + related + "--"
            "\r\n\r\n--" + kBoundary + "\r\nContent-Type: application/octet-stream;\r\n"
            "\tcharset=\"iso-8859-1\";\r\n\tname=\"other.bin\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n\tfilename=\"other.bin\"\r\n\r\n\r\n"
            "\r\n\r\n--" + kBoundary + "--\r\n");
}

TEST(MessageLayout, ImportanceAndSensitivityLines) {
  struct Row {
    Importance importance;
    Sensitivity sensitivity;
    const char *lines;
  } rows[] = {
      {Importance::kUnset, Sensitivity::kNormal, "X-Priority: 3\r\n"},
      {Importance::kHigh, Sensitivity::kNormal, "X-Priority: 1\r\nImportance: high\r\n"},
      {Importance::kNormal, Sensitivity::kPersonal,
       "X-Priority: 3\r\nImportance: normal\r\nSensitivity: Personal\r\n"},
      {Importance::kLow, Sensitivity::kPrivate,
       "X-Priority: 5\r\nImportance: low\r\nSensitivity: Private\r\n"},
      {Importance::kUnset, Sensitivity::kConfidential,
       "X-Priority: 3\r\nSensitivity: Company-Confidential\r\n"},
  };
  for (const Row &row : rows) {
    CTestMail mail;
    Fill(mail);
    mail.SetMarks(row.importance, row.sensitivity);
    EXPECT_EQ(Written(mail), std::string(kHeaderBlock) + row.lines);
  }
}

}  // namespace
