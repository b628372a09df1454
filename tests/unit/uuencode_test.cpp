#include <gtest/gtest.h>

#include <string>

#include "mime/uuencode.h"

namespace {

std::string Encode(const std::string &data, const char *name, int flags) {
  std::size_t name_length = name != nullptr ? std::string(name).size() : 0;
  std::string out(UuencodeCapacity(data.size(), name_length), '\0');
  std::size_t length = out.size();
  EXPECT_EQ(EncodeUuencode(data.data(), data.size(), out.data(), &length, name, flags), 1);
  out.resize(length);
  return out;
}

TEST(Uuencode, EncodesLines) {
  struct Row {
    std::string data;
    std::string expected;
  } rows[] = {
      {"", ""},
      {"Cat", "#0V%T\r\n"},
      {std::string(3, '\0'), "#````\r\n"},  // value 0 is the backquote
      {"a", "!82`@\r\n"},                   // a short group is filled with spaces
      {std::string(45, '\0'), "M" + std::string(60, '`') + "\r\n"},
      {std::string(46, '\0'), "M" + std::string(60, '`') + "\r\n!`\"`@\r\n"},
  };
  for (const Row &row : rows) EXPECT_EQ(Encode(row.data, nullptr, 0), row.expected) << row.data;
}

TEST(Uuencode, BeginAndEndLines) {
  EXPECT_EQ(Encode("", "C:\\dir\\f.bin", kUuencodeBegin | kUuencodeEnd),
            "begin 666 C:\\dir\\f.bin\r\n`\r\nend\r\n");
  EXPECT_EQ(Encode("Cat", "x", kUuencodeBegin), "begin 666 x\r\n#0V%T\r\n");
  EXPECT_EQ(Encode("Cat", nullptr, kUuencodeEnd), "#0V%T\r\n`\r\nend\r\n");
}

TEST(Uuencode, DoublesTheDotOf14ByteLines) {
  std::string line14(14, 'A');
  std::string plain = Encode(line14, nullptr, 0);
  ASSERT_EQ(plain[0], '.');
  EXPECT_EQ(Encode(line14, nullptr, kUuencodeDoubleDot), "." + plain);
  // 59 bytes: a full line, then 14 bytes whose line starts with the dot.
  std::string two = Encode(std::string(59, 'A'), nullptr, kUuencodeDoubleDot);
  EXPECT_EQ(two.substr(0, 1), "M");
  EXPECT_EQ(two.substr(63, 2), "..");
}

TEST(Uuencode, NameLimits) {
  std::string data = "x";
  std::string longest(kUuencodeMaxName - 1, 'n');
  EXPECT_EQ(Encode(data, longest.c_str(), kUuencodeBegin).substr(0, 10 + longest.size()),
            "begin 666 " + longest);
  char out[1024];
  std::string too_long(kUuencodeMaxName, 'n');
  const char *refused[] = {too_long.c_str(), nullptr, "a\r\nb", "a\nb"};
  for (const char *name : refused) {
    std::size_t length = sizeof out;
    EXPECT_EQ(EncodeUuencode(data.data(), data.size(), out, &length, name, kUuencodeBegin), 0);
  }
}

TEST(Uuencode, RefusesWithoutWriting) {
  std::string data(100, 'z');
  char out[512];
  std::fill(std::begin(out), std::end(out), '#');
  std::size_t capacity = UuencodeCapacity(data.size(), 0) - 1;
  EXPECT_EQ(EncodeUuencode(data.data(), data.size(), out, &capacity, nullptr, 0), 0);
  EXPECT_EQ(out[0], '#');
  std::size_t length = sizeof out;
  EXPECT_EQ(EncodeUuencode(nullptr, 1, out, &length, nullptr, 0), 0);
  EXPECT_EQ(EncodeUuencode(data.data(), data.size(), nullptr, &length, nullptr, 0), 0);
  EXPECT_EQ(EncodeUuencode(data.data(), data.size(), out, nullptr, nullptr, 0), 0);
}

}  // namespace
