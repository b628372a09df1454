#include "proc/result_set.h"

#include <srv.h>

#include "charset/utf8.h"

namespace {

// nvarchar(4000): what the longest text a profile holds needs, in bytes.
constexpr DBINT kTextBytes = 8000;
constexpr std::size_t kTextUnits = kTextBytes / 2;
constexpr DBINT kIntBytes = 4;

}  // namespace

CResultSet::CResultSet(CXPData *srvproc, const std::vector<CColumn> &columns)
    : m_srvproc(srvproc),
      m_columns(columns),
      m_texts(columns.size()),
      m_ints(columns.size()),
      m_null(columns.size(), true) {
  m_ready = true;
  for (std::size_t i = 0; i < m_columns.size() && m_ready; ++i) {
    const bool text = m_columns[i].type == Type::kText;
    // Nullable types: a length of 0 sends NULL.
    const DBINT type = text ? SRVNVARCHAR : SRVINTN;
    const DBINT length = text ? kTextBytes : kIntBytes;
    m_ready = srv_describe(m_srvproc, static_cast<int>(i + 1), const_cast<char *>(m_columns[i].name),
                           SRV_NULLTERM, type, length, type, 0, nullptr) != 0;
  }
}

void CResultSet::SetText(std::size_t column, std::string_view utf8) {
  std::u16string &text = m_texts[column];
  // Text of the store is UTF-8 it checked; what does not convert is shown
  // as NULL rather than half.
  if (!Utf16FromUtf8(utf8.data(), utf8.size(), text)) text.clear();
  if (text.size() > kTextUnits) text.resize(kTextUnits);
  m_null[column] = text.empty();
}

void CResultSet::SetInt(std::size_t column, std::optional<int> value) {
  m_ints[column] = value.value_or(0);
  m_null[column] = !value.has_value();
}

bool CResultSet::SendRow() {
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    const int column = static_cast<int>(i + 1);
    const bool text = m_columns[i].type == Type::kText;
    void *data = text ? static_cast<void *>(m_texts[i].data()) : static_cast<void *>(&m_ints[i]);
    const int length =
        m_null[i] ? 0 : text ? static_cast<int>(2 * m_texts[i].size()) : static_cast<int>(kIntBytes);
    srv_setcoldata(m_srvproc, column, data);
    srv_setcollen(m_srvproc, column, length);
  }
  const bool sent = srv_sendrow(m_srvproc) == SUCCEED;
  if (sent) ++m_rows;
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    m_texts[i].clear();
    m_null[i] = true;
  }
  return sent;
}

void CResultSet::End() {
  srv_senddone(m_srvproc, static_cast<USHORT>(SRV_DONE_MORE | SRV_DONE_COUNT), 0, m_rows);
}
