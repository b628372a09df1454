#include "host/xpexec/output_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "host/ods_standin.h"
#include "host/xpexec/utf16le.h"

namespace xpexec {
namespace {

// The DONE status bit that says the count is meaningful (SRV_DONE_COUNT).
constexpr int kDoneCountBit = 0x10;
// An informational message (SRV_MSG_INFO): sqlcmd shows its text alone.
constexpr int kInfoMessage = 1;
constexpr size_t kIntBytes = 4;

// SQL type codes of row values (TDS codes): Unicode text, and integers.
constexpr int kTypeNText = 0x63;
constexpr int kTypeNVarChar = 0xE7;
constexpr int kTypeNChar = 0xEF;
constexpr int kTypeIntN = 0x26;
constexpr int kTypeInt1 = 0x30;
constexpr int kTypeInt2 = 0x34;
constexpr int kTypeInt4 = 0x38;
constexpr int kTypeInt8 = 0x7F;
constexpr size_t kMaxIntegerBytes = 8;

// A row value as a client shows it.
struct Cell {
  std::string text;  // UTF-8 for Unicode text, decimal digits for a number
  bool number = false;
  bool null = false;
};

bool IsInteger(int type) {
  return type == kTypeIntN || type == kTypeInt1 || type == kTypeInt2 || type == kTypeInt4 ||
         type == kTypeInt8;
}

Cell CellOf(const ReceivedColumn &c) {
  Cell cell;
  if (c.is_null) {
    cell.null = true;
    cell.text = "NULL";
  } else if (c.type == kTypeNVarChar || c.type == kTypeNChar || c.type == kTypeNText) {
    cell.text = Utf16leToUtf8(c.data);
  } else if (IsInteger(c.type) && !c.data.empty() && c.data.size() <= kMaxIntegerBytes) {
    // Little-endian, signed; tinyint alone is unsigned.
    uint64_t value = 0;
    for (size_t i = c.data.size(); i-- > 0;)
      value = value << 8 | static_cast<unsigned char>(c.data[i]);
    const size_t bits = 8 * c.data.size();
    int64_t number = static_cast<int64_t>(value);
    if (c.type != kTypeInt1 && bits < 64 && (value >> (bits - 1)) != 0)
      number = static_cast<int64_t>(value | (~uint64_t{0} << bits));
    cell.text = std::to_string(number);
    cell.number = true;
  } else {
    cell.text = c.data;
  }
  return cell;
}

// Characters, not bytes, set a column's width.
size_t DisplayWidth(const std::string &text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length = ValidUtf8SequenceLength(std::string_view(text).substr(i));
    i += length == 0 ? 1 : length;
    ++width;
  }
  return width;
}

void AppendPadded(std::string *out, const std::string &text, size_t width, bool right) {
  const size_t pad = width - DisplayWidth(text);
  if (right) out->append(pad, ' ');
  out->append(text);
  if (!right) out->append(pad, ' ');
}

// A run of rows as sqlcmd shows a result set: the column names, a line of
// dashes, a line per row, then an empty line. Columns are separated by a
// blank; text is left aligned and numbers right aligned. Each column is as
// wide as its name or its widest value (sqlcmd takes the declared width,
// which for these columns would be far wider than any value).
std::string HumanRows(const ReceivedToken *const *rows, size_t count) {
  const std::vector<ReceivedColumn> &head = rows[0]->columns;
  std::vector<size_t> widths;
  for (const ReceivedColumn &c : head) widths.push_back(DisplayWidth(c.name));
  std::vector<std::vector<Cell>> cells(count);
  for (size_t r = 0; r < count; ++r)
    for (size_t i = 0; i < rows[r]->columns.size() && i < widths.size(); ++i) {
      cells[r].push_back(CellOf(rows[r]->columns[i]));
      if (DisplayWidth(cells[r].back().text) > widths[i])
        widths[i] = DisplayWidth(cells[r].back().text);
    }
  std::string out;
  for (size_t i = 0; i < head.size(); ++i) {
    if (i > 0) out += ' ';
    AppendPadded(&out, head[i].name, widths[i], false);
  }
  out += '\n';
  for (size_t i = 0; i < head.size(); ++i) {
    if (i > 0) out += ' ';
    out.append(widths[i], '-');
  }
  out += '\n';
  for (const std::vector<Cell> &row : cells) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out += ' ';
      AppendPadded(&out, row[i].text, widths[i], row[i].number);
    }
    out += '\n';
  }
  out += '\n';
  return out;
}

// {"token":"row","values":{"<name>":<value>,...}}: a number for an
// integer, null for NULL, else a string.
std::string JsonRow(const ReceivedToken &t) {
  std::string out = "{\"token\":\"row\",\"values\":{";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) out += ',';
    Cell cell = CellOf(t.columns[i]);
    out += JsonString(t.columns[i].name) + ":" +
           (cell.null ? std::string("null") : cell.number ? cell.text : JsonString(cell.text));
  }
  return out + "}}\n";
}

void AppendByteEscape(std::string *out, unsigned char byte) {
  char text[sizeof "\\u0000"];
  std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(byte));
  out->append(text);
}

std::string HumanToken(const ReceivedToken &t) {
  if (t.kind == STANDIN_TOKEN_MESSAGE && t.msgtype == kInfoMessage) return t.text + "\n";
  if (t.kind == STANDIN_TOKEN_MESSAGE)
    return "Msg " + std::to_string(t.number) + ", Level " + std::to_string(t.msgclass) +
           ", State " + std::to_string(t.state) + ", Line " + std::to_string(t.line) + "\n" +
           t.text + "\n";
  if (t.kind == STANDIN_TOKEN_DONE && (t.status & kDoneCountBit) != 0)
    return "(" + std::to_string(t.count) + " rows affected)\n";
  return std::string();
}

// The value of an OUTPUT variable as text: nvarchar as UTF-8, varchar as
// its bytes, int as its decimal digits; "NULL" (JSON: null) for none.
std::string OutputText(const ReturnedValue &v, bool json) {
  if (v.is_null) return json ? "null" : "NULL";
  if (v.type == STANDIN_TYPE_INT && v.data.size() == kIntBytes) {
    uint32_t bits = 0;
    for (size_t i = 0; i < kIntBytes; ++i)
      bits |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
    return std::to_string(static_cast<int32_t>(bits));
  }
  std::string text = v.type == STANDIN_TYPE_NVARCHAR ? Utf16leToUtf8(v.data) : v.data;
  return json ? JsonString(text) : text;
}

size_t Characters(const std::string &text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// One row of the columns, each padded to its width but the last.
std::string Row(const std::vector<std::string> &cells, const std::vector<size_t> &widths) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += ' ';
    line += cells[i];
    if (i + 1 < cells.size()) line.append(widths[i] - Characters(cells[i]), ' ');
  }
  return line + "\n";
}

std::string HumanOutputs(const std::vector<ReturnedValue> &outputs) {
  std::vector<std::string> names, values, dashes;
  std::vector<size_t> widths;
  for (const ReturnedValue &v : outputs) {
    names.push_back(v.variable);
    values.push_back(OutputText(v, false));
    widths.push_back(std::max(Characters(names.back()), Characters(values.back())));
    dashes.push_back(std::string(widths.back(), '-'));
  }
  return Row(names, widths) + Row(dashes, widths) + Row(values, widths) +
         "\n(1 rows affected)\n";
}

std::string JsonToken(const ReceivedToken &t) {
  if (t.kind == STANDIN_TOKEN_MESSAGE)
    return "{\"token\":\"message\",\"type\":" + std::to_string(t.msgtype) +
           ",\"number\":" + std::to_string(t.number) + ",\"class\":" + std::to_string(t.msgclass) +
           ",\"state\":" + std::to_string(t.state) + ",\"line\":" + std::to_string(t.line) +
           ",\"text\":" + JsonString(t.text) + "}\n";
  if (t.kind == STANDIN_TOKEN_DONE)
    return "{\"token\":\"done\",\"status\":" + std::to_string(t.status) +
           ",\"curcmd\":" + std::to_string(t.curcmd) + ",\"count\":" + std::to_string(t.count) +
           "}\n";
  if (t.kind == STANDIN_TOKEN_ROW) return JsonRow(t);
  return std::string();
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      size_t length = ValidUtf8SequenceLength(bytes.substr(i));
      if (length == 0) {
        AppendByteEscape(&out, c);
        ++i;
      } else {
        out.append(bytes.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F)
          AppendByteEscape(&out, c);
        else
          out.push_back(static_cast<char>(c));
    }
    ++i;
  }
  out.push_back('"');
  return out;
}

std::string FormatCall(const CallRecord &call, OutputStyle style) {
  std::string out;
  const std::vector<ReceivedToken> &tokens = call.tokens;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (style == OutputStyle::kTokens) {
      out += JsonToken(tokens[i]);
    } else if (tokens[i].kind == STANDIN_TOKEN_ROW && !tokens[i].columns.empty()) {
      // The rows up to the next other token are one result set.
      std::vector<const ReceivedToken *> rows;
      for (; i < tokens.size() && tokens[i].kind == STANDIN_TOKEN_ROW; ++i)
        rows.push_back(&tokens[i]);
      --i;
      out += HumanRows(rows.data(), rows.size());
    } else {
      out += HumanToken(tokens[i]);
    }
  }
  if (style == OutputStyle::kHuman)
    return call.outputs.empty() ? out : out + HumanOutputs(call.outputs);
  for (const ReturnedValue &v : call.outputs)
    out += "{\"token\":\"output\",\"name\":" + JsonString(v.variable) +
           ",\"value\":" + OutputText(v, true) + "}\n";
  if (call.attention)
    out += "{\"token\":\"attention\",\"after_ms\":" + std::to_string(call.attention_after_ms) +
           ",\"returned_ms\":" + std::to_string(call.returned_ms) + "}\n";
  out += "{\"token\":\"return\",\"value\":" + std::to_string(call.return_value) + "}\n";
  return out;
}

std::string FormatAttention(const CallRecord &call) {
  if (!call.attention) return std::string();
  return "xpexec: attention raised " + std::to_string(call.attention_after_ms) +
         " ms after the call started; the procedure returned " +
         std::to_string(call.returned_ms) + " ms after it\n";
}

}  // namespace xpexec
