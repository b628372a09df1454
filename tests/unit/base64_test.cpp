// The base64 encoder: the fixed cases of its layout and flags, the capacity
// rule, and a sweep of sizes and flags against a decoder written here.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mime/base64.h"

namespace {

// Encodes with exactly the capacity the encoder demands.
std::string Encode(const std::string &data, int flags) {
  std::size_t capacity = Base64Capacity(data.size(), flags);
  std::string out(capacity, '\xAA');
  std::size_t result = capacity;
  EXPECT_EQ(EncodeBase64(data.data(), data.size(), out.data(), &result, flags), 1);
  EXPECT_LE(result, capacity);
  out.resize(result);
  return out;
}

// Bytes 0, 1, 2, ... as test input.
std::string Counting(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
  return s;
}

// A strict decoder of the encoder's layout: lines of exactly 76 characters
// each ended by CR LF, then a shorter tail without one; "=" only at the end.
// Returns false on anything else.
bool Decode(const std::string &text, bool breaks, bool fill, std::string &data) {
  data.clear();
  std::string chars;
  std::size_t line = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (!breaks || line != kBase64LineLength || i + 1 >= text.size() || text[i + 1] != '\n')
        return false;
      ++i;
      line = 0;
      continue;
    }
    if (c == '\n') return false;
    if (++line > kBase64LineLength && breaks) return false;
    chars.push_back(c);
  }
  std::size_t pad = 0;
  while (!chars.empty() && chars.back() == '=') {
    chars.pop_back();
    ++pad;
  }
  std::size_t rest = chars.size() % 4;
  if (rest == 1) return false;
  if (fill ? (rest == 0 ? pad != 0 : pad != 4 - rest) : pad != 0) return false;
  std::uint32_t acc = 0;
  int bits = 0;
  for (char c : chars) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else return false;
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      data.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  // Fill bits of a partial group are zero.
  return (acc & ((1u << bits) - 1)) == 0;
}

TEST(Base64Cases, FixedInputs) {
  struct Row {
    std::string data;
    int flags;
    std::string text;
  };
  const Row rows[] = {
      {"", 0, ""},
      {"", kBase64NoFill, ""},
      {"", kBase64NoBreaks, ""},
      {"", kBase64NoFill | kBase64NoBreaks, ""},
      {"abc", 0, "YWJj"},
      {"ab", 0, "YWI="},
      {"ab", kBase64NoFill, "YWI"},
      {"a", 0, "YQ=="},
      {"a", kBase64NoFill, "YQ"},
      {std::string("\0\0\0", 3), 0, "AAAA"},
      {"\xFF\xFF\xFF", 0, "////"},
      {"\xFB\xEF\xBE", 0, "++++"},
  };
  for (const Row &row : rows) EXPECT_EQ(Encode(row.data, row.flags), row.text) << row.text;
}

TEST(Base64Cases, LineBreaksAfterEvery76Characters) {
  const std::string line1 = Encode(Counting(57), kBase64NoBreaks);
  ASSERT_EQ(line1.size(), 76u);
  std::string full57 = Encode(Counting(57), 0);
  EXPECT_EQ(full57.size(), 78u);
  EXPECT_EQ(full57, line1 + "\r\n");

  std::string s58 = Encode(Counting(58), 0);
  ASSERT_EQ(s58.size(), 82u);
  EXPECT_EQ(s58.substr(0, 78), full57);
  EXPECT_EQ(s58.substr(80), "==");

  std::string s59 = Encode(Counting(59), 0);
  ASSERT_EQ(s59.size(), 82u);
  EXPECT_EQ(s59.substr(0, 78), full57);
  EXPECT_EQ(s59.substr(81), "=");
  EXPECT_NE(s59[80], '=');

  std::string s114 = Encode(Counting(114), 0);
  ASSERT_EQ(s114.size(), 156u);
  EXPECT_EQ(s114.substr(76, 2), "\r\n");
  EXPECT_EQ(s114.substr(154, 2), "\r\n");
  EXPECT_EQ(s114.find('='), std::string::npos);
}

TEST(Base64Cases, OneLineWithoutBreaks) {
  std::string s = Encode(Counting(100), kBase64NoBreaks);
  ASSERT_EQ(s.size(), 136u);
  EXPECT_EQ(s.find('\r'), std::string::npos);
  EXPECT_EQ(s.substr(132, 2).find('='), std::string::npos);
  EXPECT_EQ(s.substr(134), "==");
}

TEST(Base64CapacityRule, FollowsTheRule) {
  struct Row {
    std::size_t n;
    int flags;
    std::size_t capacity;
  };
  const Row rows[] = {
      {0, 0, 2},    {0, kBase64NoBreaks, 0}, {1, 0, 6},     {1, kBase64NoFill, 6},
      {3, 0, 6},    {57, 0, 80},             {58, 0, 84},   {100, kBase64NoBreaks, 136},
      {114, 0, 158}, {5700, kBase64NoFill, 7802},
  };
  for (const Row &row : rows)
    EXPECT_EQ(Base64Capacity(row.n, row.flags), row.capacity) << row.n << " " << row.flags;
}

TEST(Base64CapacityRule, OneByteTooFewFailsWithoutWriting) {
  for (std::size_t n : {1u, 2u, 3u, 57u, 58u, 100u, 5700u}) {
    for (int flags = 0; flags < 4; ++flags) {
      std::string data = Counting(n);
      std::size_t capacity = Base64Capacity(n, flags) - 1;
      std::string out(capacity + 16, '\xAA');
      std::size_t result = capacity;
      EXPECT_EQ(EncodeBase64(data.data(), n, out.data(), &result, flags), 0) << n;
      EXPECT_EQ(result, capacity) << n;
      EXPECT_EQ(out, std::string(capacity + 16, '\xAA')) << n;
    }
  }
}

TEST(Base64CapacityRule, NullPointersFail) {
  char out[16];
  std::size_t result = sizeof out;
  EXPECT_EQ(EncodeBase64(nullptr, 3, out, &result, 0), 0);
  EXPECT_EQ(EncodeBase64("abc", 3, nullptr, &result, 0), 0);
  EXPECT_EQ(EncodeBase64("abc", 3, out, nullptr, 0), 0);
  EXPECT_EQ(result, sizeof out);
}

// Every size from 0 to past several lines, every flag set, random bytes and
// unaligned sources: the output decodes to the input, keeps its layout,
// fits the capacity and writes nothing beyond what it reports.
TEST(Base64RoundTrip, EverySizeAndFlag) {
  std::mt19937 random(20240501);
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n <= 400; ++n) sizes.push_back(n);
  for (std::size_t n : {1139u, 1140u, 1141u, 5699u, 5700u, 5701u, 65536u}) sizes.push_back(n);
  for (std::size_t n : sizes) {
    std::string buffer(n + 1, '\0');
    for (char &c : buffer) c = static_cast<char>(random());
    for (std::size_t offset = 0; offset < 2; ++offset) {
      if (offset == 1 && n > 400) continue;
      std::string data = buffer.substr(offset, n);
      for (int flags = 0; flags < 4; ++flags) {
        std::size_t capacity = Base64Capacity(n, flags);
        std::string out(capacity + 8, '\xAA');
        std::size_t result = capacity;
        ASSERT_EQ(EncodeBase64(buffer.data() + offset, n, out.data(), &result, flags), 1) << n;
        ASSERT_LE(result, capacity) << n;
        EXPECT_EQ(out.substr(result), std::string(capacity + 8 - result, '\xAA')) << n;
        out.resize(result);
        std::string decoded;
        ASSERT_TRUE(Decode(out, (flags & kBase64NoBreaks) == 0, (flags & kBase64NoFill) == 0,
                           decoded))
            << n << " flags " << flags;
        ASSERT_EQ(decoded, data) << n << " flags " << flags;
        // Complete groups fill whole lines: a CR LF after every 19 groups.
        std::size_t groups = n / 3;
        std::size_t breaks = (flags & kBase64NoBreaks) == 0 ? groups / 19 : 0;
        std::size_t tail = n % 3 == 0 ? 0 : ((flags & kBase64NoFill) != 0 ? n % 3 + 1 : 4);
        EXPECT_EQ(result, groups * 4 + breaks * 2 + tail) << n << " flags " << flags;
      }
    }
  }
}

}  // namespace
