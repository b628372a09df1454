// CResultSet: one result set sent to the client through ODS, as a table of
// named columns: text columns (nvarchar; UTF-8 given, sent as UTF-16) and
// integer columns (int). An empty text or a missing number is NULL. The
// set ends with a DONE that counts its rows. Kept apart, as ods_calls.h
// is, so that its users never meet the headers <srv.h> brings. Values are
// copied into the set's buffers until the row is sent; no secret is ever
// given to it.
#ifndef MAILVANE_PROC_RESULT_SET_H
#define MAILVANE_PROC_RESULT_SET_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CXPData;

class CResultSet {
 public:
  enum class Type { kText, kInt };
  struct CColumn {
    const char *name;
    Type type;
  };

  // Describes the columns to the client; Ready tells whether it took them.
  CResultSet(CXPData *srvproc, const std::vector<CColumn> &columns);
  bool Ready() const { return m_ready; }

  void SetText(std::size_t column, std::string_view utf8);
  void SetInt(std::size_t column, std::optional<int> value);
  // Sends the row and clears the values; false when ODS refused it.
  bool SendRow();
  // The DONE of the set, with its count of rows.
  void End();

 private:
  CXPData *m_srvproc;
  std::vector<CColumn> m_columns;
  std::vector<std::u16string> m_texts;
  std::vector<int> m_ints;
  std::vector<bool> m_null;
  int m_rows = 0;
  bool m_ready = false;
};

#endif
