#include "report/html_table.h"

#include <new>

#include "report/rows_output.h"

namespace {

constexpr char kTableOpen[] =
    "<table style=\"border-collapse:collapse;border:1px solid #999999;"
    "font-family:Arial,Helvetica,sans-serif;font-size:10pt\">\r\n";
constexpr char kTableClose[] = "</table>\r\n";
constexpr char kRowOpen[] = "<tr>";
constexpr char kRowClose[] = "</tr>\r\n";
constexpr char kHeaderCellOpen[] =
    "<th style=\"border:1px solid #999999;padding:3px 6px;background-color:#dddddd;"
    "text-align:left\">";
constexpr char kHeaderCellClose[] = "</th>";
constexpr char kCellOpen[] = "<td style=\"border:1px solid #999999;padding:3px 6px\">";
constexpr char kNumberCellOpen[] =
    "<td style=\"border:1px solid #999999;padding:3px 6px;text-align:right\">";
constexpr char kCellClose[] = "</td>";
constexpr char kNoRows[] = "(no rows)";
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// The reference for a byte that needs one, or null.
const char *ReferenceFor(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    case '\r': return "&#13;";
    case '\n': return "&#10;";
    case '\0': return kReplacement;
    default: return nullptr;
  }
}

class CHtmlRows : public CRowVisitor {
 public:
  explicit CHtmlRows(CRowsOutput &out) : m_out(out) {}
  bool Row(const CCell *cells, std::size_t count) override {
    m_line.assign(kRowOpen);
    for (std::size_t i = 0; i < count; ++i) {
      const CCell &cell = cells[i];
      m_line += cell.kind == CellKind::kNumber ? kNumberCellOpen : kCellOpen;
      if (cell.kind == CellKind::kString || cell.kind == CellKind::kJson)
        AppendHtmlEscaped(m_line, cell.text);
      else
        m_line += cell.text;  // a number, true or false: nothing to escape
      m_line += kCellClose;
    }
    m_line += kRowClose;
    m_out.Put(m_line);
    return !m_out.Failed();
  }

 private:
  CRowsOutput &m_out;
  std::string m_line;
};

}  // namespace

void AppendHtmlEscaped(std::string &out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char *reference = ReferenceFor(text[i]);
    if (reference == nullptr) continue;
    out.append(text.data() + run, i - run);
    out += reference;
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

bool WriteHtmlTable(const CJsonRows &rows, COutputChannel &channel) {
  try {
    CRowsOutput out(channel);
    out.Put(kTableOpen);
    if (!rows.Columns().empty()) {
      std::string header(kRowOpen);
      for (const std::string &name : rows.Columns()) {
        header += kHeaderCellOpen;
        AppendHtmlEscaped(header, name);
        header += kHeaderCellClose;
      }
      header += kRowClose;
      out.Put(header);
    }
    if (rows.RowCount() == 0) {
      out.Put(kRowOpen);
      out.Put(kCellOpen);
      out.Put(kNoRows);
      out.Put(kCellClose);
      out.Put(kRowClose);
    } else {
      CHtmlRows visitor(out);
      if (!rows.VisitRows(visitor)) return false;
    }
    out.Put(kTableClose);
    return out.Finish();
  } catch (const std::bad_alloc &) {
    return false;
  }
}
