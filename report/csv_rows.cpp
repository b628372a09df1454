#include "report/csv_rows.h"

#include <cstring>
#include <new>

#include "report/rows_output.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kRecordEnd[] = "\r\n";

// Ends a record of `fields` fields. A record of one empty field is
// written as "" : an empty line is no record to most readers.
void EndRecord(std::string &record, std::size_t fields) {
  if (record.empty() && fields == 1) record += "\"\"";
  record += kRecordEnd;
}

class CCsvRecords : public CRowVisitor {
 public:
  explicit CCsvRecords(CRowsOutput &out) : m_out(out) {}
  bool Row(const CCell *cells, std::size_t count) override {
    m_record.clear();
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) m_record += ',';
      AppendCsvField(m_record, cells[i].text);
    }
    EndRecord(m_record, count);
    m_out.Put(m_record);
    return !m_out.Failed();
  }

 private:
  CRowsOutput &m_out;
  std::string m_record;
};

// RFC 4180 section 2 (6): what makes a field quoted.
bool NeedsQuotes(std::string_view text) {
  for (char c : text)
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  return false;
}

}  // namespace

void AppendCsvField(std::string &out, std::string_view text) {
  if (!NeedsQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  std::size_t run = 0;
  for (std::size_t quote = text.find('"'); quote != std::string_view::npos;
       quote = text.find('"', quote + 1)) {
    out.append(text.data() + run, quote + 1 - run);
    out += '"';
    run = quote + 1;
  }
  out.append(text.data() + run, text.size() - run);
  out += '"';
}

bool WriteCsvRows(const CJsonRows &rows, COutputChannel &channel) {
  try {
    CRowsOutput out(channel);
    out.Put(kByteOrderMark);
    if (!rows.Columns().empty()) {
      std::string header;
      for (std::size_t i = 0; i < rows.Columns().size(); ++i) {
        if (i > 0) header += ',';
        AppendCsvField(header, rows.Columns()[i]);
      }
      EndRecord(header, rows.Columns().size());
      out.Put(header);
    }
    CCsvRecords records(out);
    if (rows.RowCount() != 0 && !rows.VisitRows(records)) return false;
    return out.Finish();
  } catch (const std::bad_alloc &) {
    return false;
  }
}
