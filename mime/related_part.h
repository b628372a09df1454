// CRelatedPart: an HTML body and the parts it shows inline (the images its
// "cid:" references name), as one multipart/related part (RFC 2387) of the
// message's multipart/mixed body.
//
// It holds the parts for one write only, without owning them: the mail's
// part list owns them. Its own boundary is made from the enclosing one
// with another prefix, so that neither delimiter begins with the other
// (RFC 2046 section 5.1.1).
#ifndef MAILVANE_MIME_RELATED_PART_H
#define MAILVANE_MIME_RELATED_PART_H

#include <string>
#include <vector>

#include "mime/mime_part.h"

class CRelatedPart : public CMimePart {
 public:
  CRelatedPart(CMimePart *body, std::vector<CMimePart *> inlineParts)
      : m_body(body), m_inline(std::move(inlineParts)) {}

  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  const char *GetContentType() const override { return "multipart/related"; }
  CMimePart *Clone() const override { return nullptr; }
  // The part header: the delimiter and the multipart/related lines.
  int FormatPartHeader(std::string &out, const char *boundary) override;

  // The boundary inside a part whose enclosing boundary is outer.
  static std::string InnerBoundary(const char *outer);

 private:
  CMimePart *m_body;
  std::vector<CMimePart *> m_inline;
};

#endif
