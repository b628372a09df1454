// Fuzzes the reader of result rows and the three renderings: whatever the
// text, it is refused at an offset within it, or every rendering is
// written whole: the CSV a record per row after the byte order mark, the
// text table one CR LF line per row and three more, the HTML table one
// line per row, no cell holding a raw "<" or line break.
#include <algorithm>
#include <string>
#include <vector>

#include "report/csv_rows.h"
#include "report/html_table.h"
#include "report/json_rows.h"
#include "report/text_table.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  CJsonRows rows;
  CRowsFault fault;
  if (!rows.Load(text, fault)) {
    FUZZ_CHECK(fault.kind != CRowsFault::Kind::kNone);
    FUZZ_CHECK(fault.offset <= size);
    return 0;
  }
  FUZZ_CHECK(rows.Columns().size() <= kMaxRowColumns);
  const std::size_t lines = rows.RowCount() + (rows.Columns().empty() ? 0 : 1);

  CMemoryChannel html;
  FUZZ_CHECK(WriteHtmlTable(rows, html));
  FUZZ_CHECK(OnlyCrLfPairs(html.Bytes()));
  const std::size_t rowLines = std::max<std::size_t>(lines, 1);
  FUZZ_CHECK(static_cast<std::size_t>(std::count(html.Bytes().begin(), html.Bytes().end(), '\n')) ==
             rowLines + 2);

  std::vector<std::size_t> widths;
  FUZZ_CHECK(TextTableWidths(rows, widths));
  CMemoryChannel table;
  FUZZ_CHECK(WriteTextTable(rows, widths, table));
  FUZZ_CHECK(OnlyCrLfPairs(table.Bytes()));
  const std::size_t header = rows.Columns().empty() ? 0 : 2;
  FUZZ_CHECK(static_cast<std::size_t>(std::count(table.Bytes().begin(), table.Bytes().end(), '\n')) ==
             header + rows.RowCount() + 2);

  CMemoryChannel csv;
  FUZZ_CHECK(WriteCsvRows(rows, csv));
  FUZZ_CHECK(csv.Bytes().compare(0, 3, "\xEF\xBB\xBF") == 0);
  return 0;
}
