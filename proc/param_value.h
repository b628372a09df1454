// The text of a parameter value as ODS delivered it: 8-bit types as their
// bytes, Unicode types converted from UTF-16LE to the thread code page,
// integer types as decimal text. Any other type keeps its bytes.
//
// Any value may be a secret ("@pwd"): the value is held in a CSecretString
// and every buffer of a conversion is wiped before it is freed.
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

// Replaces value (holding the raw bytes of a parameter of type sql_type)
// with its text. Returns false when a Unicode value cannot be converted;
// value is then unchanged.
bool ParamValueToText(int sql_type, CSecretString &value);

#endif
