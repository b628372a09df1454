#include "report/rows_body.h"

#include <new>

#include "report/html_table.h"
#include "report/text_table.h"

std::unique_ptr<CRowsBody> CRowsBody::Make(std::shared_ptr<const CJsonRows> rows, bool html,
                                           std::string lead) {
  try {
    std::unique_ptr<CRowsBody> body(new CRowsBody());
    body->m_rows = std::move(rows);
    body->m_html = html;
    body->m_lead = std::move(lead);
    // The widths take a reading of their own: made once, here.
    if (!html && !TextTableWidths(*body->m_rows, body->m_widths)) return nullptr;
    return body;
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

bool CRowsBody::WriteTo(COutputChannel &out) const {
  if (!m_lead.empty() && !out.WriteBytes(m_lead.data(), m_lead.size())) return false;
  return m_html ? WriteHtmlTable(*m_rows, out) : WriteTextTable(*m_rows, m_widths, out);
}

std::unique_ptr<CBodyInsert> CRowsBody::Clone() const {
  try {
    return std::unique_ptr<CBodyInsert>(new CRowsBody(*this));
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}
