// The writer of a body part's content: the bytes of the text (and of an
// insert, body_insert.h) as they go on the wire, streamed through one
// fixed buffer, whatever their number and however they are cut into
// pieces.
//
// In 8bit: with kWriteSmtp a bare CR or LF becomes CR LF and a "." that
// begins a line is doubled, so the text can never end the data early or
// smuggle a command; a line that reaches 998 bytes (RFC 5322 2.1.1) is
// broken. In quoted-printable (a body with a longer line, see CBodyShape):
// each line encoded alone in pieces of kQuotedPrintablePiece bytes joined
// by soft breaks, its line end kept as CR LF (RFC 2045 6.7 (4)), so that
// no byte of the text changes. A piece boundary never changes the bytes.
#ifndef MAILVANE_MIME_BODY_WRITER_H
#define MAILVANE_MIME_BODY_WRITER_H

#include <cstddef>
#include <string>

#include "mime/output_channel.h"

// Content bytes on one line (RFC 5322 section 2.1.1), the CR LF not counted.
inline constexpr std::size_t kBodyLineLimit = 998;

// Where the bytes of a body go, piece by piece.
class CBodySink {
 public:
  virtual ~CBodySink() = default;
  // False when the bytes could not be written.
  virtual bool Put(const char *data, std::size_t length) = 0;
};

// What decides a body's transfer encoding: a line longer than
// kBodyLineLimit (CR LF, CR and LF each end a line), and bytes above 0x7F.
class CBodyShape : public CBodySink {
 public:
  bool Put(const char *data, std::size_t length) override;
  bool LongLine() const { return m_longLine; }
  bool EightBit() const { return m_eightBit; }

 private:
  std::size_t m_column = 0;
  bool m_longLine = false;
  bool m_eightBit = false;
};

// The body writer's buffer of 4096 bytes: filled, and written whenever it
// may not hold what the next byte adds.
class CPartBuffer {
 public:
  static constexpr std::size_t kSize = 4096;
  // The most one byte of text can add: a line break, a doubled dot and the
  // byte, or a line break and a line end.
  static constexpr std::size_t kMostPerByte = 4;

  explicit CPartBuffer(COutputChannel *channel) : m_channel(channel) {}
  void Put(char c) { m_bytes[m_used++] = c; }
  void Put(const char *text, std::size_t n);
  bool MakeRoom() { return m_used + kMostPerByte <= kSize || Flush(); }
  // Any number of bytes, through the buffer.
  bool Append(const char *data, std::size_t n);
  bool Flush();

 private:
  COutputChannel *m_channel;
  char m_bytes[kSize];
  std::size_t m_used = 0;
};

// Writes the content in 8bit, or in quoted-printable, into the buffer;
// Finish writes what is held back and flushes. Throws std::bad_alloc.
class CBodyWriter : public CBodySink {
 public:
  CBodyWriter(CPartBuffer &buffer, bool smtp, bool quotedPrintable);
  bool Put(const char *data, std::size_t length) override;
  bool Finish();

 private:
  bool EightBitByte(char c);
  void EightBitContent(char c);
  bool QuotedPrintableByte(char c);
  // Encodes the line's pending piece; soft: more of the line follows.
  bool EncodePiece(bool soft);

  CPartBuffer &m_buffer;
  bool m_smtp;
  bool m_quotedPrintable;
  std::size_t m_column = 0;
  bool m_pendingCr = false;  // a CR whose LF may come with the next byte
  std::string m_piece;       // quoted-printable: the line's bytes not yet encoded
  std::string m_area;        // quoted-printable: the encoder's output
};

// A channel whose bytes go to a body sink: how an insert reaches it.
class CSinkChannel : public COutputChannel {
 public:
  explicit CSinkChannel(CBodySink &sink) : m_sink(sink) {}
  bool WriteBytes(const void *data, std::size_t length) override {
    return m_sink.Put(static_cast<const char *>(data), length);
  }

 private:
  CBodySink &m_sink;
};

#endif
