#include "proc/report_texts.h"

#include "proc/call_options.h"

void CReportForms::Note(std::string_view name, ParamText text) {
  if (name == "@rows") rows = text;
  else if (name == "@rows_attachment") rowsAttachment = text;
  else if (name == "@reply_to") replyTo = text;
}

std::string RowsRefusalText(const CRowsFault &fault) {
  switch (fault.kind) {
    case CRowsFault::Kind::kTooManyColumns:
      return "@rows can not have more than " + std::to_string(kMaxRowColumns) + " columns.";
    case CRowsFault::Kind::kTooManyCells:
      return "@rows can not have more than " + std::to_string(kMaxRowCells) +
             " cells (rows times columns).";
    default:
      return std::string(kTextRowsNotJson) + " Fault at offset " + std::to_string(fault.offset) +
             ".";
  }
}
