// CJsonRows: the result rows of a query, as the JSON text that FOR JSON
// PATH (or FOR JSON AUTO without nested tables) makes of them: an array of
// objects, one a row, each member a column.
//
// The text is read as a stream of parser events (RapidJSON's SAX reader),
// never built into a document. Load reads it once: it checks that it is
// such an array, and learns the columns, in the order their keys first
// appear, and the number of rows. VisitRows reads it again and hands each
// row to a visitor, its cells in column order. A member whose value is an
// object gives columns of its own, named by the keys joined with "." (the
// dotted aliases of FOR JSON PATH); an array value is one cell holding the
// array's JSON text as written. A column a row lacks (FOR JSON leaves out
// nulls unless told INCLUDE_NULL_VALUES) is null in that row.
//
// The text is caller input: it must be well-formed UTF-8 JSON (RFC 8259),
// and anything else is a fault, located by the number of characters before
// it as T-SQL counts them (UTF-16 code units), so that SUBSTRING(@rows,
// offset + 1, ...) shows it. The columns and cells a text may give are
// bounded (kMaxRowColumns, kMaxRowCells): a few bytes of JSON must not
// become gigabytes of table. Memory beyond the text: the column names,
// and one row's cells while it is visited.
#ifndef MAILVANE_REPORT_JSON_ROWS_H
#define MAILVANE_REPORT_JSON_ROWS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The most columns a result has in SQL Server (the columns of one SELECT).
inline constexpr std::size_t kMaxRowColumns = 4096;
// The most cells (rows times columns) a table may have: more than any 64
// MiB text of rows can hold with its values present.
inline constexpr std::size_t kMaxRowCells = std::size_t{1} << 24;
// The deepest nesting of objects in a row that FOR JSON writes.
inline constexpr std::size_t kMaxRowNesting = 128;

// Why a text was refused.
struct CRowsFault {
  enum class Kind { kNone, kNotRows, kTooManyColumns, kTooManyCells };
  Kind kind = Kind::kNone;
  std::size_t offset = 0;  // kNotRows: characters before the fault
};

// One cell of a row. text points into memory valid while the visitor runs.
enum class CellKind : unsigned char { kNull, kString, kNumber, kTrue, kFalse, kJson };
struct CCell {
  CellKind kind = CellKind::kNull;
  std::string_view text;  // the string's value, the number or the array as
                          // written, "true" or "false"; empty for null
};

class CRowVisitor {
 public:
  virtual ~CRowVisitor() = default;
  // One row: a cell per column. False stops the visit.
  virtual bool Row(const CCell *cells, std::size_t count) = 0;
};

class CJsonRows {
 public:
  // Reads text (UTF-8, which the rows then own). False with the fault
  // when it is no array of rows, or too large a table. Throws
  // std::bad_alloc.
  bool Load(std::string text, CRowsFault &fault);

  const std::vector<std::string> &Columns() const { return m_columns; }
  std::size_t RowCount() const { return m_rows; }

  // Hands every row to visitor, in order. False when the visitor stopped
  // or memory ran out.
  bool VisitRows(CRowVisitor &visitor) const;

 private:
  friend class CRowsReader;

  std::string m_text;  // the JSON text
  std::size_t m_length = 0;
  std::vector<std::string> m_columns;
  std::unordered_map<std::string, std::size_t> m_index;
  std::size_t m_rows = 0;
};

#endif
