#include "report/json_rows.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "charset/utf8.h"

namespace {

// RapidJSON's reader, not in place (the text is read twice): numbers
// handed over as written, nesting kept on the heap rather than the stack,
// so that no text can exhaust the server thread's stack. The text is
// checked to be UTF-8 once, before it is read (the reader's own check,
// character by character, would take a quarter of its time), so the
// reader copies string bytes as they are.
constexpr unsigned kParseFlags =
    rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseIterativeFlag;

// The parser's memory (its stack of open values and the string being
// read): from new, so that memory running out is std::bad_alloc, which the
// callers catch, rather than a null pointer the parser would write through.
class CJsonAllocator {
 public:
  void *Malloc(std::size_t size) { return size == 0 ? nullptr : ::operator new(size); }
  void *Realloc(void *original, std::size_t originalSize, std::size_t newSize) {
    void *grown = Malloc(newSize);
    if (original != nullptr && grown != nullptr)
      std::memcpy(grown, original, originalSize < newSize ? originalSize : newSize);
    Free(original);
    return grown;
  }
  static void Free(void *p) { ::operator delete(p); }
};

using CJsonReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, CJsonAllocator>;

bool IsJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The characters before byte offset `at` of UTF-8 text, counted as UTF-16
// code units: one for each sequence, two for one beyond U+FFFF.
std::size_t CharactersBefore(const std::string &text, std::size_t at) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < at && i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) ++count;
    if (byte >= 0xF0) ++count;
  }
  return count;
}

// Where a cell's text lies in the reader's arena while its row is read.
struct CCellSpan {
  CellKind kind = CellKind::kNull;
  std::size_t offset = 0;
  std::size_t length = 0;
};

}  // namespace

// The events of one reading of the text. Learning (Load), it adds the
// columns and counts the rows; visiting, it gathers each row's cells and
// hands them on.
class CRowsReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CRowsReader> {
 public:
  CRowsReader(const CJsonRows &rows, CJsonRows *learn, CRowVisitor *visitor,
              const rapidjson::StringStream &stream)
      : m_rows(rows), m_learn(learn), m_visitor(visitor), m_stream(stream) {
    if (visitor != nullptr) m_spans.resize(rows.m_columns.size());
  }

  bool Null() { return Value(CellKind::kNull, {}); }
  bool Bool(bool b) { return Value(b ? CellKind::kTrue : CellKind::kFalse, b ? "true" : "false"); }
  bool RawNumber(const char *text, rapidjson::SizeType length, bool) {
    return Value(CellKind::kNumber, {text, length});
  }
  bool String(const char *text, rapidjson::SizeType length, bool) {
    return Value(CellKind::kString, {text, length});
  }
  bool Key(const char *text, rapidjson::SizeType length, bool) {
    if (m_arrays != 0) return true;
    m_pathStack.push_back(m_path.size());
    if (m_depth > kRowDepth) m_path.push_back('.');
    m_path.append(text, length);
    return true;
  }
  bool StartObject() {
    if (m_arrays != 0) return true;
    if (m_depth == kTopDepth) return Fault(Tell());
    if (m_depth == kArrayDepth) {
      m_depth = kRowDepth;
      return true;
    }
    if (m_depth >= kRowDepth + kMaxRowNesting) return Fault(Tell());
    ++m_depth;  // a nested object: its keys continue the path
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    if (m_arrays != 0) return true;
    if (m_depth == kRowDepth) {
      m_depth = kArrayDepth;
      m_elementFrom = Tell() + 1;
      return EndRow();
    }
    --m_depth;
    PopKey();
    return true;
  }
  bool StartArray() {
    if (m_arrays != 0) {
      ++m_arrays;
      return true;
    }
    if (m_depth == kTopDepth) {
      m_depth = kArrayDepth;
      m_elementFrom = Tell() + 1;
      return true;
    }
    if (m_depth == kArrayDepth) return Fault(Tell());  // a row that is no object
    m_arrays = 1;
    m_arrayStart = Tell();
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    if (m_arrays == 0) {
      m_depth = kTopDepth;
      return true;
    }
    if (--m_arrays != 0) return true;
    // The array as written: from its "[" to the "]" the reader is at.
    return Value(CellKind::kJson,
                 std::string_view(m_rows.m_text.data() + m_arrayStart, Tell() + 1 - m_arrayStart));
  }

  std::size_t Rows() const { return m_rowCount; }
  // The fault the events found, when they stopped the reading.
  const CRowsFault *Fault() const { return m_fault.kind == CRowsFault::Kind::kNone ? nullptr : &m_fault; }

 private:
  // The depths the reader passes: outside the text's array, inside it,
  // inside a row, and deeper inside objects of a row.
  static constexpr std::size_t kTopDepth = 0;
  static constexpr std::size_t kArrayDepth = 1;
  static constexpr std::size_t kRowDepth = 2;

  // The reader stands on "[" "{" "]" "}" when it reports them, and just
  // past a scalar.
  std::size_t Tell() const { return m_stream.Tell(); }

  bool Fault(std::size_t at, CRowsFault::Kind kind = CRowsFault::Kind::kNotRows) {
    m_fault.kind = kind;
    m_fault.offset = at;
    return false;
  }

  // Where the value that ends now began, for a value the text may not
  // have there: the first byte after the blanks (and, inside the array,
  // the comma) that follow what came before it.
  std::size_t StartOfValue() const {
    std::size_t at = m_depth == kTopDepth ? 0 : m_elementFrom;
    const std::string &text = m_rows.m_text;
    while (at < text.size() && (IsJsonBlank(text[at]) || text[at] == ',')) ++at;
    return at;
  }

  bool Value(CellKind kind, std::string_view text) {
    if (m_arrays != 0) return true;
    if (m_depth < kRowDepth) return Fault(StartOfValue());
    const bool stored = Cell(kind, text);
    PopKey();
    return stored;
  }

  void PopKey() {
    if (m_pathStack.empty()) return;
    m_path.resize(m_pathStack.back());
    m_pathStack.pop_back();
  }

  // The column of the current path. Rows mostly repeat the key order of
  // the row before, so the column after the last one is tried first.
  bool Cell(CellKind kind, std::string_view text) {
    const std::vector<std::string> &columns = m_rows.m_columns;
    std::size_t column = m_next;
    if (column >= columns.size() || columns[column] != m_path) {
      auto found = m_rows.m_index.find(m_path);
      if (found != m_rows.m_index.end()) {
        column = found->second;
      } else if (m_learn == nullptr) {
        return false;  // the text changed between the readings
      } else if (columns.size() == kMaxRowColumns) {
        return Fault(Tell(), CRowsFault::Kind::kTooManyColumns);
      } else {
        column = columns.size();
        m_learn->m_index.emplace(m_path, column);
        m_learn->m_columns.push_back(m_path);
      }
    }
    m_next = column + 1;
    if (m_visitor == nullptr) return true;
    // A member named twice in a row: the later value stands.
    m_spans[column] = {kind, m_arena.size(), text.size()};
    m_arena.append(text);
    return true;
  }

  bool EndRow() {
    ++m_rowCount;
    m_next = 0;
    if (m_visitor == nullptr) return true;
    m_cells.resize(m_spans.size());
    for (std::size_t i = 0; i < m_spans.size(); ++i) {
      m_cells[i].kind = m_spans[i].kind;
      m_cells[i].text = std::string_view(m_arena.data() + m_spans[i].offset, m_spans[i].length);
      m_spans[i] = CCellSpan();
    }
    const bool go_on = m_visitor->Row(m_cells.data(), m_cells.size());
    m_arena.clear();
    return go_on;
  }

  const CJsonRows &m_rows;
  CJsonRows *m_learn;
  CRowVisitor *m_visitor;
  const rapidjson::StringStream &m_stream;
  std::size_t m_depth = kTopDepth;
  std::size_t m_arrays = 0;      // arrays open inside a cell's array value
  std::size_t m_arrayStart = 0;  // where that value's "[" stands
  std::size_t m_elementFrom = 0;
  std::string m_path;            // the keys from the row to the value, joined by "."
  std::vector<std::size_t> m_pathStack;
  std::size_t m_next = 0;
  std::size_t m_rowCount = 0;
  CRowsFault m_fault;
  std::vector<CCellSpan> m_spans;
  std::vector<CCell> m_cells;
  std::string m_arena;
};

namespace {

// One reading of the text; false with the fault (fault.kind kNone when
// the reader stopped for another reason: the visitor, or no memory).
bool Read(std::size_t length, CRowsReader &events, rapidjson::StringStream &stream,
          CRowsFault &fault) {
  CJsonAllocator allocator;
  CJsonReader reader(&allocator);
  if (!reader.Parse<kParseFlags>(stream, events).IsError()) return true;
  if (const CRowsFault *found = events.Fault()) {
    fault = *found;
  } else if (reader.GetParseErrorCode() != rapidjson::kParseErrorTermination) {
    fault.kind = CRowsFault::Kind::kNotRows;
    fault.offset = reader.GetErrorOffset();
  }
  if (fault.offset > length) fault.offset = length;
  return false;
}

}  // namespace

bool CJsonRows::Load(std::string text, CRowsFault &fault) {
  fault = CRowsFault();
  m_columns.clear();
  m_index.clear();
  m_rows = 0;
  m_length = text.size();
  m_text = std::move(text);
  // The reader takes a NUL for the end of the text, and JSON holds none
  // raw: a NUL is a fault where it stands, not an end; so is the first
  // byte that is not UTF-8. The text is read up to there, so that a fault
  // before it is found first; it is refused either way.
  std::size_t end = std::min(Utf8WellFormedPrefix(m_text.data(), m_length), m_text.find('\0'));
  if (end < m_length) m_text[end] = '\0';
  rapidjson::StringStream stream(m_text.c_str());
  CRowsReader events(*this, this, nullptr, stream);
  const bool read = Read(m_length, events, stream, fault);
  if (!read || end < m_length) {
    if (fault.kind == CRowsFault::Kind::kNone || (fault.kind == CRowsFault::Kind::kNotRows &&
                                                   fault.offset > end)) {
      fault.kind = CRowsFault::Kind::kNotRows;
      fault.offset = end;
    }
    if (fault.kind == CRowsFault::Kind::kNotRows)
      fault.offset = CharactersBefore(m_text, fault.offset);
    return false;
  }
  m_rows = events.Rows();
  if (static_cast<std::uint64_t>(m_rows) * m_columns.size() > kMaxRowCells) {
    fault.kind = CRowsFault::Kind::kTooManyCells;
    return false;
  }
  return true;
}

bool CJsonRows::VisitRows(CRowVisitor &visitor) const {
  try {
    rapidjson::StringStream stream(m_text.c_str());
    CRowsReader events(*this, nullptr, &visitor, stream);
    CRowsFault fault;
    return Read(m_length, events, stream, fault);
  } catch (const std::bad_alloc &) {
    return false;
  }
}
