#include "report/text_table.h"

#include <new>
#include <string>

#include "report/display_width.h"
#include "report/rows_output.h"

namespace {

constexpr char kNull[] = "NULL";
constexpr char kLineEnd[] = "\r\n";

// What a cell shows: its text, or NULL.
std::string_view ShownCell(const CCell &cell) {
  return cell.kind == CellKind::kNull ? std::string_view(kNull) : cell.text;
}

class CWidths : public CRowVisitor {
 public:
  explicit CWidths(std::vector<std::size_t> &widths) : m_widths(widths) {}
  bool Row(const CCell *cells, std::size_t count) override {
    for (std::size_t i = 0; i < count; ++i) {
      m_shown.clear();
      const std::size_t width = AppendShownText(m_shown, ShownCell(cells[i]), kMaxTextColumnWidth);
      if (width > m_widths[i]) m_widths[i] = width;
    }
    return true;
  }

 private:
  std::vector<std::size_t> &m_widths;
  std::string m_shown;
};

// One line of the table: the columns in their widths.
class CLines : public CRowVisitor {
 public:
  CLines(const std::vector<std::size_t> &widths, CRowsOutput &out) : m_widths(widths), m_out(out) {}

  bool Row(const CCell *cells, std::size_t count) override {
    m_line.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t start = m_line.size();
      if (i > 0) m_line += ' ';
      const std::size_t width = AppendShownText(m_line, ShownCell(cells[i]), kMaxTextColumnWidth);
      Pad(i, start, width, cells[i].kind == CellKind::kNumber);
    }
    return Put();
  }

  // The names, and the dashes under them.
  bool Header(const std::vector<std::string> &names) {
    m_line.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::size_t start = m_line.size();
      if (i > 0) m_line += ' ';
      Pad(i, start, AppendShownText(m_line, names[i], kMaxTextColumnWidth), false);
    }
    if (!Put()) return false;
    m_line.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) m_line += ' ';
      m_line.append(m_widths[i], '-');
    }
    return Put();
  }

 private:
  // Pads the column just appended (from start, after its separator) to
  // its width: before a number, after anything else but in the last column.
  void Pad(std::size_t column, std::size_t start, std::size_t width, bool right) {
    const std::size_t pad = m_widths[column] > width ? m_widths[column] - width : 0;
    if (right) m_line.insert(start + (column > 0 ? 1 : 0), pad, ' ');
    else if (column + 1 < m_widths.size()) m_line.append(pad, ' ');
  }
  bool Put() {
    m_line += kLineEnd;
    m_out.Put(m_line);
    return !m_out.Failed();
  }

  const std::vector<std::size_t> &m_widths;
  CRowsOutput &m_out;
  std::string m_line;
};

}  // namespace

bool TextTableWidths(const CJsonRows &rows, std::vector<std::size_t> &widths) {
  try {
    widths.assign(rows.Columns().size(), 0);
    std::string shown;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      shown.clear();
      widths[i] = AppendShownText(shown, rows.Columns()[i], kMaxTextColumnWidth);
    }
    CWidths visitor(widths);
    return rows.RowCount() == 0 || rows.VisitRows(visitor);
  } catch (const std::bad_alloc &) {
    return false;
  }
}

bool WriteTextTable(const CJsonRows &rows, const std::vector<std::size_t> &widths,
                    COutputChannel &channel) {
  try {
    CRowsOutput out(channel);
    CLines lines(widths, out);
    if (!rows.Columns().empty() && !lines.Header(rows.Columns())) return false;
    if (rows.RowCount() != 0 && !rows.VisitRows(lines)) return false;
    out.Put(kLineEnd);
    out.Put("(" + std::to_string(rows.RowCount()) + " rows)" + kLineEnd);
    return out.Finish();
  } catch (const std::bad_alloc &) {
    return false;
  }
}
