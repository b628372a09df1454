// The text of a parameter value as ODS delivered it: 8-bit types as their
// bytes (text in the thread code page), Unicode types converted from
// UTF-16LE to UTF-8, integer types as decimal text. Any other type keeps
// its bytes.
//
// The Unicode conversion is exact: every character, those beyond U+FFFF
// included, keeps its value, and UTF-16 that is not well formed (a lone
// surrogate, as a cut at a fixed length may leave, or an odd number of
// bytes) is refused rather than mended. The value may be a password: the
// conversion's buffers are wiped.
#ifndef MAILVANE_PROC_PARAM_VALUE_H
#define MAILVANE_PROC_PARAM_VALUE_H

#include <cstddef>

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

// True for nchar, nvarchar and ntext.
bool IsUnicodeType(int sql_type);

// Replaces value (holding the raw bytes of a parameter of type sql_type)
// with its text. Returns false when a Unicode value is not well-formed
// UTF-16; value is then unchanged.
bool ParamValueToText(int sql_type, CSecretString &value);

#endif
