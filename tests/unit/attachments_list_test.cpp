#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/content_type.h"
#include "mail/error_codes.h"
#include "mail/invalid_argument_error.h"
#include "mail/last_error.h"
#include "mail/mime_types_file.h"
#include "mail/smtp_mail.h"
#include "mime/attachment.h"
#include "tests/support/fake_multi_language.h"
#include "tests/support/known_content_type.h"
#include "tests/support/temp_files.h"

namespace {

const CFileAttachment *AttachmentAt(const CSmtpMail &mail, std::size_t i) {
  if (i >= mail.Parts().size()) return nullptr;
  return dynamic_cast<const CFileAttachment *>(mail.Parts()[i].get());
}

std::vector<std::string> Paths(const CSmtpMail &mail) {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < mail.Parts().size(); ++i) {
    const CFileAttachment *attachment = AttachmentAt(mail, i);
    paths.push_back(attachment != nullptr ? attachment->Path() : "<not an attachment>");
  }
  return paths;
}

TEST(SetAttachments, SplitsAtSemicolonsOnly) {
  struct Row {
    std::string list;
    std::vector<std::string> paths;
  } rows[] = {
      {"a.txt", {"a.txt"}},
      {"a.txt;b.html", {"a.txt", "b.html"}},
      {"a; b ;c", {"a", " b ", "c"}},        // blanks belong to the names
      {"a,b c", {"a,b c"}},
      {"a;", {"a", ""}},                     // a trailing ";" adds an empty path
      {";a", {"", "a"}},
      {";;", {"", "", ""}},
      {"C:\\dir\\x.bin;/srv/y", {"C:\\dir\\x.bin", "/srv/y"}},
  };
  for (const Row &row : rows) {
    CSmtpMail mail;
    std::string text = row.list;
    ASSERT_EQ(mail.SetAttachments(text.data()), S_OK) << row.list;
    EXPECT_EQ(Paths(mail), row.paths) << row.list;
  }
}

TEST(SetAttachments, SplitsInPlaceAndKeepsEarlierParts) {
  CSmtpMail mail;
  char first[] = "one;two";
  ASSERT_EQ(mail.SetAttachments(first), S_OK);
  EXPECT_EQ(std::string(first, sizeof first - 1), std::string("one\0two", 7));
  char second[] = "three";
  ASSERT_EQ(mail.SetAttachments(second), S_OK);
  EXPECT_EQ(Paths(mail), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(SetAttachments, EveryAttachmentIsOctetStreamInBase64) {
  CSmtpMail mail;
  DropMultiLanguage(mail);
  char list[] = "notes.txt;page.html";
  ASSERT_EQ(mail.SetAttachments(list), S_OK);
  ASSERT_EQ(mail.Parts().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const CFileAttachment *attachment = AttachmentAt(mail, i);
    ASSERT_NE(attachment, nullptr);
    EXPECT_STREQ(attachment->GetContentType(), "application/octet-stream");
    EXPECT_EQ(attachment->Kind(), kAttachmentBase64);
    // Code page 0 without a multi-language service.
    EXPECT_STREQ(attachment->GetCharset(), "iso-8859-1");
  }
}

TEST(SetAttachments, PathOf260BytesIsTheLongest) {
  CSmtpMail mail;
  std::string longest(kMaxAttachmentPath, 'p');
  ASSERT_EQ(mail.SetAttachments(longest.data()), S_OK);
  EXPECT_EQ(Paths(mail), std::vector<std::string>{std::string(kMaxAttachmentPath, 'p')});
}

TEST(SetAttachments, RejectedNameFailsTheCall) {
  // Never 0: the mail would go out without the attachment.
  std::string too_long(kMaxAttachmentPath + 1, 'p');
  struct Row {
    std::string list;
    std::size_t added;
  } rows[] = {
      {too_long, 0},
      {"first;" + too_long, 1},
      {"first;" + too_long + ";third", 1},  // stops at the rejected name
  };
  for (const Row &row : rows) {
    CSmtpMail mail;
    std::string text = row.list;
    SetThreadLastError(0);
    EXPECT_EQ(mail.SetAttachments(text.data()), E_FAIL) << row.list.size();
    EXPECT_EQ(mail.Parts().size(), row.added);
  }
}

TEST(SetAttachments, LineBreakInANameIsAnInvalidArgument) {
  const char *lists[] = {"a\r\nb", "ok;evil\nContent-Type: text/html", "a\r"};
  for (const char *list : lists) {
    CSmtpMail mail;
    std::string text = list;
    EXPECT_EQ(static_cast<std::uint32_t>(mail.SetAttachments(text.data())), 0x80070057u) << list;
  }
  CSmtpMail mail;
  EXPECT_EQ(mail.AddAttachment("a\nb", nullptr, kAttachmentBase64, 0), 0);
  EXPECT_EQ(GetThreadLastError(), InvalidArgumentError());
  EXPECT_TRUE(mail.Parts().empty());
}

TEST(AddAttachment, StoresKindAndContentType) {
  CSmtpMail mail;
  EXPECT_EQ(mail.AddAttachment(nullptr, "text/plain", 0, 0), 0);
  EXPECT_EQ(mail.AddAttachment("x", "text/plain", 3, 0), 0);
  EXPECT_EQ(mail.AddAttachment("x", "text/plain", -1, 0), 0);
  EXPECT_TRUE(mail.Parts().empty()) << "a rejected attachment is destroyed";
  ASSERT_EQ(mail.AddAttachment("u.bin", "image/png", kAttachmentUuencode, 0), 1);
  ASSERT_EQ(mail.AddAttachment("q.txt", "text/plain", kAttachmentQuotedPrintable, 0), 1);
  ASSERT_EQ(mail.AddAttachment("noext", nullptr, kAttachmentBase64, 0), 1);
  ASSERT_EQ(mail.Parts().size(), 3u);
  EXPECT_EQ(AttachmentAt(mail, 0)->Kind(), kAttachmentUuencode);
  EXPECT_STREQ(AttachmentAt(mail, 0)->GetContentType(), "image/png");
  EXPECT_EQ(AttachmentAt(mail, 1)->Kind(), kAttachmentQuotedPrintable);
  EXPECT_STREQ(AttachmentAt(mail, 2)->GetContentType(), "application/octet-stream");
}

TEST(AddAttachment, CodePageWithoutCharsetNameFails) {
  // Without a multi-language service only code pages 0 and 28591 are named.
  CSmtpMail mail;
  DropMultiLanguage(mail);
  EXPECT_EQ(mail.AddAttachment("x.bin", "application/octet-stream", kAttachmentBase64, 1252), 0);
  EXPECT_TRUE(mail.Parts().empty());
}

TEST(AddAttachment, LooksTheContentTypeUpWhenNoneIsGiven) {
  CKnownContentType known;
  CSmtpMail mail;
  ASSERT_EQ(mail.AddAttachment(("dir/notes" + known.Extension()).c_str(), nullptr, kAttachmentBase64, 0), 1);
  EXPECT_EQ(AttachmentAt(mail, 0)->GetContentType(), known.Type());
}

TEST(LookupContentType, ByExtension) {
  CKnownContentType known;
  std::string upper = known.Extension();
  for (char &c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const std::string report = "report" + known.Extension();
  const std::string in_folder = "C:\\dir\\REPORT" + upper;
  struct Row {
    const char *path;
    int result;
    const char *type;
  } rows[] = {
      {report.c_str(), 0, known.Type().c_str()},
      {in_folder.c_str(), 0, known.Type().c_str()},  // extensions ignore case
      {"noextension", kContentTypePathNotFound, kDefaultContentType},
      {"dir.d/noextension", kContentTypePathNotFound, kDefaultContentType},
      {"", kContentTypePathNotFound, kDefaultContentType},
      {"x.zqxvunknown", kContentTypeFileNotFound, kDefaultContentType},
  };
  for (const Row &row : rows) {
    std::string out = "stale";
    EXPECT_EQ(LookupContentType(row.path, out), row.result) << row.path;
    EXPECT_EQ(out, row.type) << row.path;
  }
}

TEST(MimeTypesFile, FirstTypeListingTheExtension) {
  CTempDir dir;
  std::string file = dir.Write("mime.types",
                               "# comment text/x-comment txt\n"
                               "application/x-empty\n"
                               "text/plain\t\ttxt text   # trailing comment\r\n"
                               "text/x-second txt\n"
                               "image/png png\n");
  struct Row {
    const char *extension;
    int result;
    const char *type;
  } rows[] = {
      {"txt", 0, "text/plain"},
      {"TXT", 0, "text/plain"},
      {"text", 0, "text/plain"},
      {"png", 0, "image/png"},
      {"comment", kContentTypeFileNotFound, "unchanged"},
      {"tx", kContentTypeFileNotFound, "unchanged"},
      {"", kContentTypeFileNotFound, "unchanged"},
  };
  for (const Row &row : rows) {
    std::string out = "unchanged";
    EXPECT_EQ(FindMimeType(file.c_str(), row.extension, out), row.result) << row.extension;
    EXPECT_EQ(out, row.type) << row.extension;
  }
  std::string out;
  EXPECT_EQ(FindMimeType(dir.PathOf("absent").c_str(), "txt", out), kContentTypeFileNotFound);
}

}  // namespace
