// CRowsOutput: where a rendering of rows puts its bytes. They are gathered
// and handed to a channel in pieces of kRowsOutputPiece bytes, so that a
// table of any size passes through a fixed amount of memory and a
// rendering of many small pieces costs few writes.
//
// A failed write is kept: later bytes are dropped, Failed() tells the
// renderer to stop, and Finish reports it.
#ifndef MAILVANE_REPORT_ROWS_OUTPUT_H
#define MAILVANE_REPORT_ROWS_OUTPUT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "mime/output_channel.h"

inline constexpr std::size_t kRowsOutputPiece = 16 * 1024;

class CRowsOutput {
 public:
  // Throws std::bad_alloc.
  explicit CRowsOutput(COutputChannel &channel) : m_channel(channel) {
    m_buffer.reserve(2 * kRowsOutputPiece);
  }
  CRowsOutput(const CRowsOutput &) = delete;
  CRowsOutput &operator=(const CRowsOutput &) = delete;

  void Put(std::string_view text) {
    m_buffer.append(text);
    if (m_buffer.size() >= kRowsOutputPiece) Flush();
  }
  void Put(char c) {
    m_buffer.push_back(c);
    if (m_buffer.size() >= kRowsOutputPiece) Flush();
  }
  void Repeat(char c, std::size_t count) {
    m_buffer.append(count, c);
    if (m_buffer.size() >= kRowsOutputPiece) Flush();
  }
  bool Failed() const { return m_failed; }
  // Writes what is left; false when any write failed.
  bool Finish() {
    Flush();
    return !m_failed;
  }

 private:
  void Flush() {
    if (!m_failed && !m_buffer.empty() && !m_channel.WriteBytes(m_buffer.data(), m_buffer.size()))
      m_failed = true;
    m_buffer.clear();
  }

  COutputChannel &m_channel;
  std::string m_buffer;
  bool m_failed = false;
};

#endif
