// CBodyInsert: bytes a body part writes at one place of its text, made
// while the part is written rather than held (the rows of a report,
// report/rows_body.h).
//
// The insert writes its bytes, in the body's charset, through the channel
// it is given: the body writer, which treats them as it treats the text
// (line ends, dots, the line limit). It may be written any number of
// times and must give the same bytes each time.
#ifndef MAILVANE_MIME_BODY_INSERT_H
#define MAILVANE_MIME_BODY_INSERT_H

#include <memory>

#include "mime/output_channel.h"

class CBodyInsert {
 public:
  virtual ~CBodyInsert() = default;
  // Writes the bytes; false when a write failed or memory ran out.
  virtual bool WriteTo(COutputChannel &out) const = 0;
  // A copy for a copy of the part; null when memory runs out.
  virtual std::unique_ptr<CBodyInsert> Clone() const = 0;
};

#endif
