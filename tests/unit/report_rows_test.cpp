// Result rows as FOR JSON writes them: what the reader takes and refuses
// (where), and the three renderings of what it takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/csv_rows.h"
#include "report/html_table.h"
#include "report/json_rows.h"
#include "report/text_table.h"
#include "tests/support/memory_channel.h"

namespace {

// Each row as "cell|cell", a cell as a kind letter and its text.
class CRowsText : public CRowVisitor {
 public:
  bool Row(const CCell *cells, std::size_t count) override {
    std::string row;
    for (std::size_t i = 0; i < count; ++i)
      row += std::string(i > 0 ? "|" : "") + "_snTFj"[static_cast<int>(cells[i].kind)] +
             std::string(cells[i].text);
    rows.push_back(row);
    return true;
  }
  std::vector<std::string> rows;
};

std::string Joined(const std::vector<std::string> &parts) {
  std::string out;
  for (const std::string &p : parts) out += (out.empty() ? "" : ";") + p;
  return out;
}

TEST(JsonRows, FormsOfForJson) {
  struct Row {
    const char *json, *columns, *rows;
  } rows[] = {
      {R"([{"a":1,"b":null},{"a":2,"b":"x"}])", "a;b", "n1|_;n2|sx"},  // INCLUDE_NULL_VALUES
      {R"([{"a":1},{"b":"x"},{"b":"y","a":3}])", "a;b", "n1|_;_|sx;n3|sy"},  // nulls absent
      {R"([{"a":{"b":1,"c":{"d":"x"}},"e":2,"a.b":3}])", "a.b;a.c.d;e", "n3|sx|n2"},
      {R"([{"t":[1,{"u":[2, "]"]}],"v":{}}])", "t", R"(j[1,{"u":[2, "]"]}])"},
      {R"([{"n":-0.5e+10,"m":12345678901234567890123,"z":0}])", "n;m;z",
       "n-0.5e+10|n12345678901234567890123|n0"},
      {R"([{"s":"a\"b\\c\/d\n\u00e9\t"}])", "s", "sa\"b\\c/d\n\xC3\xA9\t"},
      {R"([{"\ud83d\ude00":"\ud83d\ude00 \u65e5"}])", "\xF0\x9F\x98\x80",
       "s\xF0\x9F\x98\x80 \xE6\x97\xA5"},
      {R"([{"y":true,"n":false}])", "y;n", "Ttrue|Ffalse"},
      {" [ ] ", "", ""},
      {"[{}]", "", ""},
  };
  for (const Row &row : rows) {
    CJsonRows parsed;
    CRowsFault fault;
    ASSERT_TRUE(parsed.Load(row.json, fault)) << row.json << " at " << fault.offset;
    EXPECT_EQ(Joined(parsed.Columns()), row.columns) << row.json;
    CRowsText text;
    ASSERT_TRUE(parsed.VisitRows(text));
    EXPECT_EQ(parsed.RowCount(), text.rows.size());
    EXPECT_EQ(Joined(text.rows), row.rows) << row.json;
  }
}

// The offset counts characters before the fault as T-SQL does: a
// character beyond U+FFFF is two.
TEST(JsonRows, FaultsAndWhereTheyAre) {
  struct Row {
    std::string json;
    std::size_t offset;
  } rows[] = {
      {"", 0},
      {"   ", 3},
      {R"({"a":1})", 0},
      {"  5", 2},
      {"[1]", 1},
      {R"([{"a":1}, [2]])", 10},
      {R"([{"a":1} ,"x"])", 10},
      {R"([{"a":1})", 8},
      {R"([{"a":1}] [])", 10},
      {R"([{"a":1,}])", 8},
      {R"([{"a":"\ud800"}])", 7},
      {"[{\"\xC3\xA9\xF0\x9F\x98\x80\":1},2]", 11},
      {"[{\"a\":\"\xE9t\xE9\"}]", 7},            // Latin-1, not UTF-8
      {"[{\"a\":\"\xED\xA0\x80\"}]", 7},         // a surrogate in UTF-8
      {std::string("[{\"a\":1}]\0[", 11), 9},    // a NUL ends nothing
      {"[{\"a\":1},\xFF]", 9},
      {"[{\"a\" 1}]", 6},
      {"[{\"a\":01}]", 7},
  };
  for (const Row &row : rows) {
    CJsonRows parsed;
    CRowsFault fault;
    EXPECT_FALSE(parsed.Load(row.json, fault)) << row.json;
    EXPECT_EQ(fault.kind, CRowsFault::Kind::kNotRows) << row.json;
    EXPECT_EQ(fault.offset, row.offset) << row.json;
  }
}

TEST(JsonRows, TablesTooLargeAreRefused) {
  std::string wide = "[{";
  for (std::size_t i = 0; i <= kMaxRowColumns; ++i)
    wide += (i ? ",\"" : "\"") + std::to_string(i) + "\":" + (i < kMaxRowColumns ? "1" : "2");
  CJsonRows parsed;
  CRowsFault fault;
  EXPECT_FALSE(parsed.Load(wide + "}]", fault));
  EXPECT_EQ(fault.kind, CRowsFault::Kind::kTooManyColumns);
  // A full row of every column, then empty rows: each counts them all.
  std::string tall = wide.substr(0, wide.rfind(',')) + "}";
  for (std::size_t i = 1; i < kMaxRowCells / kMaxRowColumns; ++i) tall += ",{}";
  EXPECT_TRUE(parsed.Load(tall + "]", fault));
  EXPECT_FALSE(parsed.Load(tall + ",{}]", fault));
  EXPECT_EQ(fault.kind, CRowsFault::Kind::kTooManyCells);
}

std::string Rendered(const char *json, int form) {
  CJsonRows rows;
  CRowsFault fault;
  EXPECT_TRUE(rows.Load(json, fault)) << json;
  CMemoryChannel out;
  std::vector<std::size_t> widths;
  const bool written = form == 0   ? WriteHtmlTable(rows, out)
                       : form == 1 ? TextTableWidths(rows, widths) && WriteTextTable(rows, widths, out)
                                   : WriteCsvRows(rows, out);
  EXPECT_TRUE(written);
  return out.Bytes();
}

constexpr char kTd[] = "<td style=\"border:1px solid #999999;padding:3px 6px\">";
constexpr char kTdRight[] = "<td style=\"border:1px solid #999999;padding:3px 6px;text-align:right\">";
constexpr char kTh[] =
    "<th style=\"border:1px solid #999999;padding:3px 6px;background-color:#dddddd;"
    "text-align:left\">";
constexpr char kTable[] =
    "<table style=\"border-collapse:collapse;border:1px solid #999999;"
    "font-family:Arial,Helvetica,sans-serif;font-size:10pt\">\r\n";

TEST(RowsRendering, HtmlTable) {
  EXPECT_EQ(Rendered(R"([{"Name & <co>":"a'b\"c","n":1.50,"x":null},{"n":-2,"Name & <co>":"l1\r\nl2\u0000"}])", 0),
            std::string(kTable) + "<tr>" + kTh + "Name &amp; &lt;co&gt;</th>" + kTh + "n</th>" + kTh +
                "x</th></tr>\r\n<tr>" + kTd + "a&#39;b&quot;c</td>" + kTdRight + "1.50</td>" + kTd +
                "</td></tr>\r\n<tr>" + kTd + "l1&#13;&#10;l2\xEF\xBF\xBD</td>" + kTdRight + "-2</td>" +
                kTd + "</td></tr>\r\n</table>\r\n");
  EXPECT_EQ(Rendered("[]", 0),
            std::string(kTable) + "<tr>" + kTd + "(no rows)</td></tr>\r\n</table>\r\n");
}

TEST(RowsRendering, TextTableAsSqlcmd) {
  const std::string longest(300, 'x');
  EXPECT_EQ(Rendered(R"([{"Database":"master","Size":5,"Note":null},)"
                     R"({"Database":"\u65e5\u672c","Size":12345,"Note":"a\tb"}])", 1),
            "Database Size  Note\r\n"
            "-------- ----- ----\r\n"
            "master       5 NULL\r\n"
            "\xE6\x97\xA5\xE6\x9C\xAC     12345 a b\r\n"
            "\r\n(2 rows)\r\n");
  const std::string cut = Rendered(("[{\"v\":\"" + longest + "\",\"w\":1}]").c_str(), 1);
  EXPECT_EQ(cut.substr(cut.find("\r\nx") + 2, 260), std::string(253, 'x') + "... 1\r\n");
  EXPECT_EQ(Rendered("[]", 1), "\r\n(0 rows)\r\n");
}

TEST(RowsRendering, CsvQuoting) {
  EXPECT_EQ(Rendered(R"([{"plain":"a b","comma":"x,y","quote":"say \"hi\"","lines":"1\r\n2","n":-1.5e3,"t":true,"z":null}])", 2),
            "\xEF\xBB\xBFplain,comma,quote,lines,n,t,z\r\n"
            "a b,\"x,y\",\"say \"\"hi\"\"\",\"1\r\n2\",-1.5e3,true,\r\n");
  EXPECT_EQ(Rendered(R"([{"a,b":[1,"x"]},{"a,b":null}])", 2),
            "\xEF\xBB\xBF\"a,b\"\r\n\"[1,\"\"x\"\"]\"\r\n\"\"\r\n");
  EXPECT_EQ(Rendered("[]", 2), "\xEF\xBB\xBF");
}

}  // namespace
