// CBase64Stream: an output channel that encodes what is written to it in
// base64 and passes the encoded lines on, in fixed memory, as a file
// attachment is encoded (attachment.h): the data in chunks of 100 lines of
// 57 bytes, each full chunk encoded without fill, the last (short, perhaps
// empty) chunk with its fill and a CR LF. So data of any length, written
// in pieces of any size, gives the bytes a file of that data would give.
#ifndef MAILVANE_MIME_BASE64_STREAM_H
#define MAILVANE_MIME_BASE64_STREAM_H

#include <cstddef>
#include <memory>

#include "mime/output_channel.h"

class CBase64Stream : public COutputChannel {
 public:
  // Throws std::bad_alloc.
  explicit CBase64Stream(COutputChannel &next);

  bool WriteBytes(const void *data, std::size_t length) override;
  // Encodes and writes the last chunk; false when any write failed.
  bool Finish();

 private:
  bool WriteChunk(bool last);

  COutputChannel &m_next;
  std::unique_ptr<char[]> m_input;
  std::unique_ptr<char[]> m_output;
  std::size_t m_filled = 0;
};

#endif
