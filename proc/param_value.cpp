#include "proc/param_value.h"

#include <cstdint>
#include <string>

#include "charset/thread_codepage.h"
#include "mail/secure_zero.h"

namespace {

bool IsUnicodeType(int t) { return t == kSqlNText || t == kSqlNVarChar || t == kSqlNChar; }

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

}  // namespace

bool ParamValueToText(int sql_type, CSecretString &value) {
  if (IsIntegerType(sql_type)) {
    std::int64_t number = 0;
    if (DecodeInteger(value, number)) value = std::to_string(number).c_str();
    return true;
  }
  if (!IsUnicodeType(sql_type)) return true;
  CSecretU16String wide(value.size() / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(value[2 * i]) |
                                    (static_cast<unsigned char>(value[2 * i + 1]) << 8));
  // The conversion fills a plain string; it is wiped as soon as its text
  // has been taken over.
  std::string narrow;
  bool converted = NarrowToThreadCodePage(wide.data(), wide.size(), narrow);
  if (converted) value.assign(narrow.data(), narrow.size());
  SecureWipe(narrow);
  return converted;
}
