#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "mime/attachment.h"
#include "charset/thread_codepage.h"
#include "mime/path_syntax.h"
#include "tests/support/memory_channel.h"
#include "tests/support/temp_files.h"
#include "tests/support/test_thread_locale.h"

namespace {

std::string Header(const std::string &prefix, const std::string &name,
                   const std::string &encoding) {
  return prefix + "\r\nContent-Type: application/octet-stream;\r\n\tcharset=\"iso-8859-1\";\r\n" +
         "\tname=\"" + name + "\"\r\nContent-Transfer-Encoding: " + encoding +
         "\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + name + "\"\r\n\r\n";
}

CFileAttachment Attachment(const std::string &path, int kind) {
  CFileAttachment attachment;
  EXPECT_TRUE(attachment.SetPath(path.c_str()));
  EXPECT_TRUE(attachment.SetKind(kind));
  return attachment;
}

// The bytes of the part after its header.
std::string Content(const std::string &part) {
  std::size_t end = part.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : part.substr(end + 4);
}

std::string Base64Lines(std::size_t full_lines) {
  std::string out;
  for (std::size_t i = 0; i < full_lines; ++i) out += std::string(76, 'A') + "\r\n";
  return out;
}

TEST(PathSyntax, LastComponentAndExtension) {
  const CLeadBytes sjis = CLeadBytes::OfCodePage(932);
  struct Row {
    const CPathSyntax *syntax;
    const char *path;
    const char *name;
    const char *extension;
    const CLeadBytes *lead = nullptr;
  } rows[] = {
      {&kWindowsPathSyntax, "C:\\dir\\sub\\report.txt", "report.txt", ".txt"},
      {&kWindowsPathSyntax, "C:report.txt", "report.txt", ".txt"},
      {&kWindowsPathSyntax, "\\\\server\\share\\a.tar.gz", "a.tar.gz", ".gz"},
      {&kWindowsPathSyntax, "dir/sub\\x", "x", ""},
      {&kWindowsPathSyntax, "dir.d\\file", "file", ""},
      {&kWindowsPathSyntax, "dir\\", "", ""},
      {&kPosixPathSyntax, "/tmp/a\\b.txt", "a\\b.txt", ".txt"},
      {&kPosixPathSyntax, "C:name", "C:name", ""},
      {&kPosixPathSyntax, "/home/u/.profile", ".profile", ".profile"},
      {&kPosixPathSyntax, "plain", "plain", ""},
      {&kPosixPathSyntax, "", "", ""},
      // Shift_JIS: the second byte of 0x95 0x5C is no separator.
      {&kWindowsPathSyntax, "C:\\d\\\x95\\.txt", "\x95\\.txt", ".txt", &sjis},
      {&kWindowsPathSyntax, "\x95\\\x95\\", "\x95\\\x95\\", "", &sjis},
      {&kWindowsPathSyntax, "d\\a\x95", "a\x95", "", &sjis},  // a lead byte at the end
      {&kWindowsPathSyntax, "C:\\d\\\x95\\.txt", ".txt", ".txt"},
  };
  for (const Row &row : rows) {
    if (row.lead != nullptr) {
      EXPECT_STREQ(LastPathComponent(row.path, *row.syntax, *row.lead), row.name) << row.path;
      continue;
    }
    EXPECT_STREQ(LastPathComponent(row.path, *row.syntax), row.name) << row.path;
    EXPECT_EQ(PathExtension(row.path, *row.syntax), row.extension) << row.path;
  }
  EXPECT_STREQ(LastPathComponent(nullptr, kPosixPathSyntax), "");
}

TEST(AttachmentHeader, NamesTheLastComponent) {
  CFileAttachment attachment = Attachment("dir/sub/data.bin", kAttachmentUuencode);
  std::string out;
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, "", "dir/sub/data.bin"), 1);
  EXPECT_EQ(out, Header("MIME-Version: 1.0", "data.bin", "uuencode"));
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, "B", "data.bin"), 1);
  EXPECT_EQ(out, Header("\r\n\r\n--B", "data.bin", "uuencode"));
  // Only 32 characters of a boundary are used.
  std::string boundary = "------=_Next_Part_0000001234.041";
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, (boundary + "xyz").c_str(), "a"), 1);
  EXPECT_EQ(out, Header("\r\n\r\n--" + boundary, "a", "uuencode"));
  // Through the part interface the name is always "rawdata".
  ASSERT_EQ(attachment.FormatPartHeader(out, ""), 1);
  EXPECT_EQ(out, Header("MIME-Version: 1.0", "rawdata", "uuencode"));
  EXPECT_EQ(attachment.FormatAttachmentHeader(out, nullptr, "a"), 0);
  EXPECT_EQ(attachment.FormatAttachmentHeader(out, "", nullptr), 0);
}

TEST(AttachmentHeader, EscapesQuoteAndBackslashOfTheName) {
  CFileAttachment attachment;
  std::string out;
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, "", "dir/we\"ird.txt"), 1);
  EXPECT_EQ(out, Header("MIME-Version: 1.0", "we\\\"ird.txt", "base64"));
  if (PlatformPathSyntax().separators == kPosixPathSyntax.separators) {
    // On POSIX a backslash is part of the name.
    ASSERT_EQ(attachment.FormatAttachmentHeader(out, "", "/tmp/a\\b\""), 1);
    EXPECT_EQ(out, Header("MIME-Version: 1.0", "a\\\\b\\\"", "base64"));
  }
}

// A name that is not printable ASCII goes out in the RFC 2231 form, UTF-8
// with percent escapes; one too long for a line in numbered sections.
TEST(AttachmentHeader, NonAsciiNameInRfc2231Form) {
  CTestThreadLocale locale;
  std::string u_umlaut, a_umlaut;
  switch (ThreadCodePage()) {
    case 65001: u_umlaut = "\xC3\x9C"; a_umlaut = "\xC3\xA4"; break;
    case 1252:
    case 28591: u_umlaut = "\xDC"; a_umlaut = "\xE4"; break;
    default: GTEST_SKIP() << "the thread code page cannot spell the name";
  }
  CFileAttachment attachment;
  std::string out;
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, "", ("d/" + u_umlaut + "bersicht M" + a_umlaut +
                                                        "rz (1);x'%*.pdf").c_str()), 1);
  const std::string name = "utf-8''%C3%9Cbersicht%20M%C3%A4rz%20%281%29%3Bx%27%25%2A.pdf";
  EXPECT_EQ(out, "MIME-Version: 1.0\r\nContent-Type: application/octet-stream;\r\n"
                 "\tcharset=\"iso-8859-1\";\r\n\tname*=" + name + "\r\n"
                 "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                 "\tfilename*=" + name + "\r\n\r\n");
  std::string long_name;
  for (int i = 0; i < 200; ++i) long_name += u_umlaut;
  ASSERT_EQ(attachment.FormatAttachmentHeader(out, "", long_name.c_str()), 1);
  std::string escaped;
  for (int i = 0; i < 150; ++i) escaped += "%C3%9C";
  const std::string rest = escaped.substr(0, 50 * 6);
  EXPECT_NE(out.find("\tname*0*=utf-8''" + escaped + ";\r\n\tname*1*=" + rest + "\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("\tfilename*0*=utf-8''" + escaped + ";\r\n\tfilename*1*=" + rest + "\r\n"),
            std::string::npos);
}

TEST(AttachmentFields, RefusedPathsAndKinds) {
  CFileAttachment attachment;
  EXPECT_TRUE(attachment.SetPath(std::string(kMaxAttachmentPath, 'p').c_str()));
  EXPECT_FALSE(attachment.SetPath(std::string(kMaxAttachmentPath + 1, 'p').c_str()));
  EXPECT_FALSE(attachment.SetPath("a\r\nContent-Type: text/html"));
  EXPECT_FALSE(attachment.SetPath("a\rb"));
  EXPECT_FALSE(attachment.SetPath(nullptr));
  EXPECT_EQ(std::string(attachment.Path()), std::string(kMaxAttachmentPath, 'p'));
  EXPECT_TRUE(attachment.SetPath(""));
  for (int kind : {-1, 3, 8}) EXPECT_FALSE(attachment.SetKind(kind)) << kind;
  for (int kind : {0, 1, 2}) EXPECT_TRUE(attachment.SetKind(kind)) << kind;
  EXPECT_FALSE(attachment.SetCharset(std::string(kCharsetNameSize, 'c').c_str()));
  EXPECT_TRUE(attachment.SetCharset(std::string(kCharsetNameSize - 1, 'c').c_str()));
}

class FileAttachment : public ::testing::Test {
 protected:
  // Writes the file and the attachment of it; returns the part's bytes.
  std::string Write(const std::string &data, int kind, int flags = 0,
                    std::size_t *writes = nullptr) {
    std::string path = m_dir.Write("data.bin", data);
    CFileAttachment attachment = Attachment(path, kind);
    CMemoryChannel channel;
    EXPECT_EQ(attachment.WriteTo(&channel, "", flags), 1);
    if (writes != nullptr) *writes = channel.WriteCount();
    for (const std::string &write : channel.Writes()) EXPECT_LE(write.size(), 34403u);
    return channel.Bytes();
  }

  CTempDir m_dir;
};

TEST_F(FileAttachment, Base64Layout) {
  std::size_t writes = 0;
  std::string part = Write("", kAttachmentBase64, 0, &writes);
  EXPECT_EQ(part, Header("MIME-Version: 1.0", "data.bin", "base64") + "\r\n");
  EXPECT_EQ(writes, 2u);
  EXPECT_EQ(Content(Write(std::string(57, '\0'), kAttachmentBase64)), Base64Lines(1) + "\r\n");
  EXPECT_EQ(Content(Write(std::string(58, '\0'), kAttachmentBase64)),
            Base64Lines(1) + "AA==\r\n");
  // Whole chunks: 100 lines, then the empty last chunk's CR LF.
  EXPECT_EQ(Content(Write(std::string(5700, '\0'), kAttachmentBase64, 0, &writes)),
            Base64Lines(100) + "\r\n");
  EXPECT_EQ(writes, 3u);
  EXPECT_EQ(Content(Write(std::string(5701, '\0'), kAttachmentBase64, 0, &writes)),
            Base64Lines(100) + "AA==\r\n");
  EXPECT_EQ(writes, 3u);
  EXPECT_EQ(Content(Write(std::string(11400, '\0'), kAttachmentBase64, 0, &writes)),
            Base64Lines(200) + "\r\n");
  EXPECT_EQ(writes, 4u);
}

TEST_F(FileAttachment, UuencodeLayout) {
  std::string path = m_dir.PathOf("data.bin");
  std::string begin = "begin 666 " + path + "\r\n";
  std::string end = "`\r\nend\r\n";
  std::size_t writes = 0;
  EXPECT_EQ(Write("", kAttachmentUuencode, 0, &writes),
            Header("MIME-Version: 1.0", "data.bin", "uuencode") + begin + end);
  EXPECT_EQ(writes, 2u);
  std::string line = "M" + std::string(60, '`') + "\r\n";
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += line;
  EXPECT_EQ(Content(Write(std::string(4500, '\0'), kAttachmentUuencode, 0, &writes)),
            begin + lines + end);
  EXPECT_EQ(writes, 3u);
  // The begin line comes once, with the first chunk only.
  EXPECT_EQ(Content(Write(std::string(9001, '\0'), kAttachmentUuencode, 0, &writes)),
            begin + lines + lines + "!`\"`@\r\n" + end);
  EXPECT_EQ(writes, 4u);
}

TEST_F(FileAttachment, QuotedPrintableLayout) {
  std::size_t writes = 0;
  EXPECT_EQ(Write("", kAttachmentQuotedPrintable, 0, &writes),
            Header("MIME-Version: 1.0", "data.bin", "quoted-printable"));
  EXPECT_EQ(writes, 1u);
  EXPECT_EQ(Content(Write("one\r\ntwo\r\n", kAttachmentQuotedPrintable)), "one=0D=0Atwo=0D=0A");
  // A full chunk ends with a soft break; the empty chunk after it adds nothing.
  std::string chunk = Content(Write(std::string(7600, 'q'), kAttachmentQuotedPrintable, 0, &writes));
  EXPECT_EQ(writes, 2u);
  EXPECT_EQ(chunk.substr(chunk.size() - 3), "=\r\n");
  // The next chunk starts at column 0.
  std::string two = Content(Write(std::string(7600, 'q') + ".", kAttachmentQuotedPrintable,
                                  kWriteSmtp, &writes));
  EXPECT_EQ(two, chunk + "..");
  EXPECT_EQ(writes, 3u);
}

TEST_F(FileAttachment, SmtpFlagDoublesLeadingDots) {
  EXPECT_EQ(Content(Write(".start", kAttachmentQuotedPrintable, kWriteSmtp)), "..start");
  EXPECT_EQ(Content(Write(".start", kAttachmentQuotedPrintable, 0)), ".start");
  std::string uu = Content(Write(std::string(14, 'A'), kAttachmentUuencode, kWriteSmtp));
  std::string begin = "begin 666 " + m_dir.PathOf("data.bin") + "\r\n";
  ASSERT_EQ(uu.substr(0, begin.size()), begin);
  EXPECT_EQ(uu.substr(begin.size(), 3), "..0");
  uu = Content(Write(std::string(14, 'A'), kAttachmentUuencode, 0));
  EXPECT_EQ(uu.substr(begin.size(), 2), ".0");
}

TEST_F(FileAttachment, HeaderNamesTheLastComponentInAMultipartBody) {
  std::string path = m_dir.Write("report.pdf", "%PDF");
  CFileAttachment attachment = Attachment(path, kAttachmentBase64);
  CMemoryChannel channel;
  ASSERT_EQ(attachment.WriteTo(&channel, "BOUNDARY", kWriteSmtp), 1);
  EXPECT_EQ(channel.Bytes(), Header("\r\n\r\n--BOUNDARY", "report.pdf", "base64") + "JVBERg==\r\n");
}

TEST_F(FileAttachment, MissingFileWritesNothingAndNamesTheFile) {
  std::string path = m_dir.PathOf("missing.bin");
  CFileAttachment attachment = Attachment(path, kAttachmentBase64);
  CMemoryChannel channel;
  EXPECT_EQ(attachment.WriteTo(&channel, "", kWriteSmtp), 0);
  EXPECT_EQ(channel.WriteCount(), 0u);
  // ENOENT and ERROR_FILE_NOT_FOUND are both 2.
  ASSERT_EQ(channel.Failures().size(), 1u);
  EXPECT_EQ(channel.Failures()[0], "Cannot open attachment file(" + path + ")(2)");
  // An empty path (from a trailing ";") fails the same way.
  CFileAttachment empty = Attachment("", kAttachmentBase64);
  EXPECT_EQ(empty.WriteTo(&channel, "", kWriteSmtp), 0);
  EXPECT_EQ(channel.WriteCount(), 0u);
}

TEST_F(FileAttachment, UnreadableFileNamesTheFile) {
  // A directory is refused before any byte of the part: EISDIR on POSIX,
  // ERROR_ACCESS_DENIED from the open on Windows. (FIFOs and devices: the
  // delivery test.)
  std::string path = m_dir.Root().string();
  CFileAttachment attachment = Attachment(path, kAttachmentBase64);
  CMemoryChannel channel;
  EXPECT_EQ(attachment.WriteTo(&channel, "", 0), 0);
  EXPECT_EQ(channel.WriteCount(), 0u);
  ASSERT_EQ(channel.Failures().size(), 1u);
  const std::string &text = channel.Failures()[0];
  EXPECT_TRUE(text == "Cannot open attachment file(" + path + ")(21)" ||
              text == "Cannot open attachment file(" + path + ")(5)")
      << text;
}

TEST_F(FileAttachment, FailedWritesAndBadArgumentsFail) {
  std::string path = m_dir.Write("data.bin", std::string(6000, 'x'));
  CFileAttachment attachment = Attachment(path, kAttachmentBase64);
  for (std::size_t n = 1; n <= 3; ++n) {
    CMemoryChannel channel;
    channel.FailFromWrite(n);
    EXPECT_EQ(attachment.WriteTo(&channel, "", 0), 0) << n;
    EXPECT_EQ(channel.WriteCount(), n) << "stops at the failed write";
    EXPECT_TRUE(channel.Failures().empty()) << "the channel knows its own failure";
  }
  CMemoryChannel channel;
  EXPECT_EQ(attachment.WriteTo(nullptr, "", 0), 0);
  EXPECT_EQ(attachment.WriteTo(&channel, nullptr, 0), 0);
  EXPECT_EQ(channel.WriteCount(), 0u);
}

TEST_F(FileAttachment, CloneAndRepeatedWritesGiveTheSameBytes) {
  std::string path = m_dir.Write("data.bin", RandomBytes(9000, 7));
  CFileAttachment attachment = Attachment(path, kAttachmentQuotedPrintable);
  attachment.SetContentType("text/plain");
  ASSERT_TRUE(attachment.SetCharset("utf-8"));
  std::unique_ptr<CMimePart> copy(attachment.Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy->GetContentType(), "text/plain");
  EXPECT_STREQ(copy->GetCharset(), "utf-8");
  CMemoryChannel first, second, cloned;
  ASSERT_EQ(attachment.WriteTo(&first, "b", kWriteSmtp), 1);
  ASSERT_EQ(attachment.WriteTo(&second, "b", kWriteSmtp), 1);
  ASSERT_EQ(copy->WriteTo(&cloned, "b", kWriteSmtp), 1);
  EXPECT_EQ(first.Bytes(), second.Bytes());
  EXPECT_EQ(first.Bytes(), cloned.Bytes());
}

TEST_F(FileAttachment, LargeFileStreamsOneWritePerChunk) {
  // 3 MB: every chunk reuses the same areas; writes stay chunk-sized.
  const std::size_t size = 3 * 1024 * 1024;
  std::string path = m_dir.Write("big.bin", RandomBytes(size, 11));
  struct Row {
    int kind;
    std::size_t chunk;
    std::size_t area;
  } rows[] = {{kAttachmentBase64, 5700, 8003},
              {kAttachmentUuencode, 4500, 34403},
              {kAttachmentQuotedPrintable, 7600, 24003}};
  for (const Row &row : rows) {
    CFileAttachment attachment = Attachment(path, row.kind);
    CMemoryChannel channel;
    ASSERT_EQ(attachment.WriteTo(&channel, "", kWriteSmtp), 1);
    std::size_t chunks = size / row.chunk + 1;
    std::size_t expected = 1 + chunks;
    EXPECT_EQ(channel.WriteCount(), expected) << row.kind;
    for (std::size_t i = 1; i < channel.Writes().size(); ++i)
      ASSERT_LE(channel.Writes()[i].size(), row.area) << row.kind;
  }
}

// Writes encoder samples for tests/integration/check_encoders.py when
// MAILVANE_ENCODER_SAMPLES names a directory: for each size, the data
// (<size>.bin) and the content of its part in every encoding, with and
// without the SMTP flag (<encoding>-<flags>-<size>.txt).
TEST(EncoderSamples, WriteForTheDecoderCheck) {
  const char *out_dir = std::getenv("MAILVANE_ENCODER_SAMPLES");
  if (out_dir == nullptr || *out_dir == '\0') GTEST_SKIP() << "MAILVANE_ENCODER_SAMPLES not set";
  const std::size_t sizes[] = {0,    1,    2,    3,    13,   14,   44,   45,   46,   56,
                               57,   58,   59,   75,   76,   77,   114,  1000, 4499, 4500,
                               4501, 5699, 5700, 5701, 7599, 7600, 7601, 9000, 11400, 15200,
                               22800, 65537, 100003};
  const char *names[] = {"base64", "uuencode", "quoted-printable"};
  CTempDir dir;
  std::filesystem::path root(out_dir);
  std::uint32_t seed = 1;
  for (std::size_t size : sizes) {
    // Random bytes, with dots and line ends sprinkled in to meet the
    // transparency and escaping rules.
    std::string data = RandomBytes(size, seed++);
    for (std::size_t i = 0; i < data.size(); i += 37) data[i] = (i / 37) % 2 ? '.' : '\n';
    std::string path = dir.Write("sample.bin", data);
    std::ofstream(root / (std::to_string(size) + ".bin"), std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    for (int kind = 0; kind < 3; ++kind) {
      for (int flags : {0, kWriteSmtp}) {
        CFileAttachment attachment = Attachment(path, kind);
        CMemoryChannel channel;
        ASSERT_EQ(attachment.WriteTo(&channel, "", flags), 1);
        std::string content = Content(channel.Bytes());
        std::string name = std::string(names[kind]) + "-" + std::to_string(flags) + "-" +
                           std::to_string(size) + ".txt";
        std::ofstream(root / name, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
      }
    }
  }
}

}  // namespace
