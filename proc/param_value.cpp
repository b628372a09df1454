#include "proc/param_value.h"

#include <cstdint>
#include <string>

namespace {

bool IsIntegerType(int t) {
  return t == kSqlIntN || t == kSqlInt1 || t == kSqlInt2 || t == kSqlInt4 || t == kSqlInt8;
}

// A little-endian integer of 1, 2, 4 or 8 bytes; tinyint (1 byte) is
// unsigned, the others are signed, as in T-SQL.
bool DecodeInteger(const CSecretString &bytes, std::int64_t &number) {
  std::size_t n = bytes.size();
  if (n != 1 && n != 2 && n != 4 && n != 8) return false;
  std::uint64_t u = 0;
  for (std::size_t i = 0; i < n; ++i)
    u |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  if (n == 1) {
    number = static_cast<std::int64_t>(u);
    return true;
  }
  std::uint64_t sign = std::uint64_t{1} << (8 * n - 1);
  if (n < 8 && (u & sign) != 0) u |= ~((sign << 1) - 1);
  number = static_cast<std::int64_t>(u);
  return true;
}

constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kSupplementaryFirst = 0x10000;

// The code points of UTF-16LE bytes, one at a time; 0 bytes taken at a
// lone surrogate.
class CUtf16LeReader {
 public:
  explicit CUtf16LeReader(const CSecretString &bytes) : m_bytes(bytes) {}
  bool AtEnd() const { return m_at >= m_bytes.size(); }
  // The next code point into c; false at a lone surrogate.
  bool Next(char32_t &c) {
    c = Unit(m_at);
    m_at += 2;
    if (c >= kLowSurrogateFirst && c < kSurrogateEnd) return false;
    if (c < kHighSurrogateFirst || c >= kLowSurrogateFirst) return true;
    if (AtEnd()) return false;
    const char32_t low = Unit(m_at);
    if (low < kLowSurrogateFirst || low >= kSurrogateEnd) return false;
    m_at += 2;
    c = kSupplementaryFirst + ((c - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
    return true;
  }

 private:
  char32_t Unit(std::size_t i) const {
    return static_cast<unsigned char>(m_bytes[i]) |
           (static_cast<char32_t>(static_cast<unsigned char>(m_bytes[i + 1])) << 8);
  }
  const CSecretString &m_bytes;
  std::size_t m_at = 0;
};

// RFC 3629 section 3: one to four bytes by the size of the code point.
std::size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

char *PutUtf8(char *out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// UTF-16LE to UTF-8 in two walks: the first checks the text and counts
// its UTF-8 bytes, the second writes them into a buffer of exactly that
// size. Nothing but the bytes and the text is held at any time.
ValueConversion Utf8FromUtf16Le(CSecretString &value, std::size_t limit) {
  // Half a code unit is no text.
  if (value.size() % 2 != 0) return ValueConversion::kInvalidUtf16;
  std::size_t length = 0;
  char32_t c = 0;
  for (CUtf16LeReader reader(value); !reader.AtEnd();) {
    if (!reader.Next(c)) return ValueConversion::kInvalidUtf16;
    length += Utf8Length(c);
  }
  if (length > limit) return ValueConversion::kTooLong;
  CSecretString text(length, '\0');
  char *out = text.data();
  for (CUtf16LeReader reader(value); !reader.AtEnd();) {
    reader.Next(c);
    out = PutUtf8(out, c);
  }
  value.swap(text);
  return ValueConversion::kDone;
}

}  // namespace

bool IsUnicodeType(int t) { return t == kSqlNText || t == kSqlNVarChar || t == kSqlNChar; }

bool ExceedsValueLimit(int sql_type, std::size_t length, std::size_t limit) {
  if (IsIntegerType(sql_type)) return false;
  // A UTF-16 unit gives one UTF-8 byte at least.
  return (IsUnicodeType(sql_type) ? length / 2 : length) > limit;
}

ValueConversion ConvertParamValue(int sql_type, CSecretString &value, std::size_t limit) {
  if (IsIntegerType(sql_type)) {
    std::int64_t number = 0;
    if (DecodeInteger(value, number)) value = std::to_string(number).c_str();
    return ValueConversion::kDone;
  }
  if (IsUnicodeType(sql_type)) return Utf8FromUtf16Le(value, limit);
  return value.size() > limit ? ValueConversion::kTooLong : ValueConversion::kDone;
}
