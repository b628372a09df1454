// CRowsBody: the rows of a report inside a body part (mime/body_insert.h):
// an HTML table (html_table.h) for an HTML body, an aligned text table
// (text_table.h) for a plain one. The table is made each time the body is
// written, from the rows' JSON text; it is never held whole.
#ifndef MAILVANE_REPORT_ROWS_BODY_H
#define MAILVANE_REPORT_ROWS_BODY_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "mime/body_insert.h"
#include "report/json_rows.h"

class CRowsBody : public CBodyInsert {
 public:
  // The table for an HTML body or a plain one; lead is written before it
  // (the line ends that set a text table apart from the text). Null when
  // memory runs out.
  static std::unique_ptr<CRowsBody> Make(std::shared_ptr<const CJsonRows> rows, bool html,
                                         std::string lead);

  bool WriteTo(COutputChannel &out) const override;
  std::unique_ptr<CBodyInsert> Clone() const override;

 private:
  CRowsBody() = default;

  std::shared_ptr<const CJsonRows> m_rows;
  bool m_html = false;
  std::string m_lead;
  std::vector<std::size_t> m_widths;  // a text table's column widths
};

#endif
