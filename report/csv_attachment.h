// CCsvAttachment: the rows of a report as a CSV attachment (csv_rows.h),
// named by the caller: text/csv in UTF-8, sent in base64.
//
// The CSV is made while the attachment is written, from the JSON text
// through the CSV writer and the base64 encoder to the channel, in fixed
// memory beyond the rows' own text: it is never held whole. The name is
// caller text of its source and reaches the header as attachment names do
// (a quoted string of printable ASCII, else RFC 2231).
#ifndef MAILVANE_REPORT_CSV_ATTACHMENT_H
#define MAILVANE_REPORT_CSV_ATTACHMENT_H

#include <memory>
#include <string>

#include "charset/text_source.h"
#include "mime/attachment.h"
#include "report/json_rows.h"

class CCsvAttachment : public CAttachment {
 public:
  CCsvAttachment(std::shared_ptr<const CJsonRows> rows, std::string name, TextSource source);

  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  CMimePart *Clone() const override;

  const std::string &Name() const { return m_name; }

 private:
  std::shared_ptr<const CJsonRows> m_rows;
  std::string m_name;
};

#endif
