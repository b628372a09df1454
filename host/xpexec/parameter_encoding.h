// What the procedure receives for each argument of a statement, as SQL
// Server would pass it: the name (with its '@', "" for a bare value), the
// type code, the value's bytes and the null flag.
//
// varchar text is converted from the statement's UTF-8 to the host code
// page, nvarchar text to UTF-16LE, an int to its 4 bytes little-endian;
// NULL is a varchar NULL with no bytes. A text cast to text or ntext gets
// that type's code; one cast to a (max) type the code of varchar or
// nvarchar with an unlimited maximum length. A variable passed as OUTPUT
// is a NULL of its type with its maximum length in bytes (two a character
// for nvarchar, STANDIN_UNLIMITED_LENGTH for (max)). Encoding never fails (see
// host_codepage.h and utf16le.h for what happens to text that does not
// convert), and uses the process locale, so it runs before the calls do.
#ifndef MAILVANE_HOST_XPEXEC_PARAMETER_ENCODING_H
#define MAILVANE_HOST_XPEXEC_PARAMETER_ENCODING_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/xpexec/statement_parser.h"

namespace xpexec {

struct Parameter {
  std::string name;
  int type = 0;       // STANDIN_TYPE_VARCHAR, _NVARCHAR, _INT, _TEXT or _NTEXT
  // 0: the value's own; else the declared one in bytes (a variable passed
  // as OUTPUT), or STANDIN_UNLIMITED_LENGTH.
  uint32_t max_length = 0;
  std::string data;   // the value's bytes; empty for NULL
  bool is_null = false;
  // Passed as OUTPUT: the variable.
  bool output = false;
  std::string variable;
};

std::vector<Parameter> EncodeArguments(const std::vector<Argument> &arguments);

}  // namespace xpexec

#endif
