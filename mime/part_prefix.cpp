#include "mime/part_prefix.h"

void AppendPartPrefix(std::string &out, const char *boundary) {
  if (boundary[0] == '\0') {
    out += "MIME-Version: 1.0";
    return;
  }
  // The two CR LF end the content before (or the message header and an
  // empty preamble, before the first part).
  out += "\r\n\r\n--";
  std::size_t n = 0;
  while (n < kBoundaryLength && boundary[n] != '\0') ++n;
  out.append(boundary, n);
}
