// The text of a parameter value as ODS delivered it: 8-bit types as their
// bytes (text in the thread code page), Unicode types converted from
// UTF-16LE to UTF-8, integer types as decimal text. Any other type keeps
// its bytes. text and ntext arrive as varchar and nvarchar do, and so do
// the (max) types: only the type code and the actual length are read.
//
// The Unicode conversion is exact: every character, those beyond U+FFFF
// included, keeps its value, and UTF-16 that is not well formed (a lone
// surrogate, as a cut at a fixed length may leave, or an odd number of
// bytes) is refused rather than mended. The value may be a password: the
// conversion's buffers are wiped.
//
// The procedure runs inside the server's address space, outside its memory
// limits: a value holds at most kMaxValueBytes of text. The conversion
// counts the UTF-8 form before it makes it, into one buffer of that size,
// so that a value is never held more than twice (its bytes and its text).
#ifndef MAILVANE_PROC_PARAM_VALUE_H
#define MAILVANE_PROC_PARAM_VALUE_H

#include <cstddef>
#include <cstdint>

#include "mail/secret_string.h"

// SQL type codes of the Unicode and integer types (TDS codes).
inline constexpr int kSqlNText = 0x63;
inline constexpr int kSqlNVarChar = 0xE7;
inline constexpr int kSqlNChar = 0xEF;
inline constexpr int kSqlIntN = 0x26;
inline constexpr int kSqlInt1 = 0x30;
inline constexpr int kSqlInt2 = 0x34;
inline constexpr int kSqlInt4 = 0x38;
inline constexpr int kSqlInt8 = 0x7F;

// The longest text a value may have, in bytes after conversion: far beyond
// any mail a server accepts (the largest hosted services take 150 MB with
// the base64 growth of attachments), and small enough that two copies stay
// a modest part of a 32-bit server's address space.
inline constexpr std::size_t kMaxValueBytes = std::size_t{64} << 20;
// The limit as the refusal text names it.
inline constexpr char kMaxValueText[] = "64 MiB";

// True for nchar, nvarchar and ntext.
bool IsUnicodeType(int sql_type);

// True when a value of sql_type whose data is `length` bytes long cannot
// have a text of `limit` bytes or less, whatever its characters: the
// check made before the value is fetched.
bool ExceedsValueLimit(int sql_type, std::size_t length, std::size_t limit = kMaxValueBytes);

// What ParamValueToText made of a value.
enum class ValueConversion { kDone, kInvalidUtf16, kTooLong };

// Replaces value (holding the raw bytes of a parameter of type sql_type)
// with its text. kInvalidUtf16 when a Unicode value is not well-formed
// UTF-16, kTooLong when its UTF-8 form would pass limit; value is then
// unchanged.
ValueConversion ConvertParamValue(int sql_type, CSecretString &value,
                                  std::size_t limit = kMaxValueBytes);

// The same, true for kDone.
inline bool ParamValueToText(int sql_type, CSecretString &value) {
  return ConvertParamValue(sql_type, value) == ValueConversion::kDone;
}

#endif
