#include "proc/param_value.h"

#include <cstdint>
#include <string>

#include "charset/utf8.h"
#include "mail/secure_zero.h"

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

// The most UTF-8 bytes one UTF-16 unit gives (AppendUtf8Strictly).
constexpr std::size_t kUtf8BytesPerUnit = 3;

}  // namespace

bool IsUnicodeType(int t) { return t == kSqlNText || t == kSqlNVarChar || t == kSqlNChar; }

bool ParamValueToText(int sql_type, CSecretString &value) {
  if (IsIntegerType(sql_type)) {
    std::int64_t number = 0;
    if (DecodeInteger(value, number)) value = std::to_string(number).c_str();
    return true;
  }
  if (!IsUnicodeType(sql_type)) return true;
  // Half a code unit is no text.
  if (value.size() % 2 != 0) return false;
  CSecretU16String wide(value.size() / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(value[2 * i]) |
                                    (static_cast<unsigned char>(value[2 * i + 1]) << 8));
  // The conversion fills a plain string, reserved whole so that no copy is
  // left behind by a growing buffer, and wiped once its text is taken over.
  std::string utf8;
  CWipeStringOnExit wipe(utf8);
  utf8.reserve(wide.size() * kUtf8BytesPerUnit);
  const bool converted = AppendUtf8Strictly(utf8, wide.data(), wide.size());
  if (converted) value.assign(utf8.data(), utf8.size());
  return converted;
}
