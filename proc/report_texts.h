// What the driver needs for the options of a report beyond the table of
// call_options.h: what their texts arrived as, and the texts that refuse
// rows.
#ifndef MAILVANE_PROC_REPORT_TEXTS_H
#define MAILVANE_PROC_REPORT_TEXTS_H

#include <string>
#include <string_view>

#include "proc/xp_params.h"
#include "report/json_rows.h"

// What the report options' texts arrived as, as they were read (a Unicode
// value is held as UTF-8, an 8-bit one is in the thread code page).
struct CReportForms {
  ParamText rows = ParamText::kBytes;
  ParamText rowsAttachment = ParamText::kBytes;
  ParamText replyTo = ParamText::kBytes;

  // Notes what the value of the option `name` is; other names change
  // nothing.
  void Note(std::string_view name, ParamText text);
};

// "@rows must be a JSON array of objects (FOR JSON PATH). Fault at offset
// <n>.", or the text of a table too large.
std::string RowsRefusalText(const CRowsFault &fault);

#endif
