#include "host/xpexec/parameter_encoding.h"

#include <cstdint>

#include "host/ods_standin.h"
#include "host/xpexec/host_codepage.h"
#include "host/xpexec/utf16le.h"

namespace xpexec {
namespace {

std::string LittleEndian32(int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

constexpr uint32_t kIntLength = 4;
constexpr uint32_t kBytesPerUtf16Unit = 2;

// A variable passed as OUTPUT: NULL of its type, and how much it holds.
void EncodeOutput(const Argument &a, Parameter *p) {
  p->output = true;
  p->variable = a.variable;
  p->is_null = true;
  const bool unlimited = a.type.length == VariableType::kMaxLength;
  switch (a.type.kind) {
    case ValueKind::kInt:
      p->type = STANDIN_TYPE_INT;
      p->max_length = kIntLength;
      break;
    case ValueKind::kVarchar:
      p->type = STANDIN_TYPE_VARCHAR;
      p->max_length = unlimited ? STANDIN_UNLIMITED_LENGTH : a.type.length;
      break;
    default:
      p->type = STANDIN_TYPE_NVARCHAR;
      p->max_length = unlimited ? STANDIN_UNLIMITED_LENGTH : a.type.length * kBytesPerUtf16Unit;
      break;
  }
}

}  // namespace

std::vector<Parameter> EncodeArguments(const std::vector<Argument> &arguments) {
  std::vector<Parameter> parameters;
  parameters.reserve(arguments.size());
  for (const Argument &a : arguments) {
    Parameter p;
    p.name = a.name;
    if (a.output) {
      EncodeOutput(a, &p);
      parameters.push_back(std::move(p));
      continue;
    }
    switch (a.kind) {
      case ValueKind::kVarchar:
        p.type = a.long_text == LongText::kText ? STANDIN_TYPE_TEXT : STANDIN_TYPE_VARCHAR;
        p.data = Utf8ToHostCodepage(a.text);
        break;
      case ValueKind::kNvarchar:
        p.type = a.long_text == LongText::kText ? STANDIN_TYPE_NTEXT : STANDIN_TYPE_NVARCHAR;
        p.data = Utf8ToUtf16le(a.text);
        break;
      case ValueKind::kInt:
        p.type = STANDIN_TYPE_INT;
        p.data = LittleEndian32(a.number);
        break;
      case ValueKind::kNull:
        p.type = STANDIN_TYPE_VARCHAR;
        p.is_null = true;
        break;
    }
    if (a.long_text == LongText::kMax)
      p.max_length = STANDIN_UNLIMITED_LENGTH;
    parameters.push_back(std::move(p));
  }
  return parameters;
}

}  // namespace xpexec
