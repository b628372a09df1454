// What the procedure receives for each argument of a statement, as SQL
// Server would pass it: the name (with its '@', "" for a bare value), the
// type code, the value's bytes and the null flag.
//
// varchar text is converted from the statement's UTF-8 to the host code
// page, nvarchar text to UTF-16LE, an int to its 4 bytes little-endian;
// NULL is a varchar NULL with no bytes. A text cast to text or ntext gets
// that type's code; one cast to a (max) type the code of varchar or
// nvarchar with an unlimited maximum length. Encoding never fails (see
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
  uint32_t max_length = 0;  // 0: the value's own; or STANDIN_MAX_LENGTH_UNLIMITED
  std::string data;   // the value's bytes; empty for NULL
  bool is_null = false;
};

std::vector<Parameter> EncodeArguments(const std::vector<Argument> &arguments);

}  // namespace xpexec

#endif
