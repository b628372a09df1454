// Server bytes for the reply reader, in receives cut where a
// test says, and every reply a reader takes from them: shared by the unit
// tests and the reply fuzz target.
//
// Each receive goes through an exact-size heap copy, so that a sanitizer
// sees any read beyond the bytes received.
#ifndef MAILVANE_TESTS_SUPPORT_PIECEWISE_REPLIES_H
#define MAILVANE_TESTS_SUPPORT_PIECEWISE_REPLIES_H

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "smtp/reply_reader.h"

// The bytes in receives of the sizes given (the last size repeats), then
// what a receive meets after the last byte: the peer's close (kDone with
// 0 bytes), a time-out or a failure (error kEndError).
class CPiecewiseSource : public CReplySource {
 public:
  static constexpr int kEndError = 104;

  CPiecewiseSource(std::string bytes, std::vector<std::size_t> pieces,
                   IoStatus atEnd = IoStatus::kDone)
      : m_bytes(std::move(bytes)), m_pieces(std::move(pieces)), m_atEnd(atEnd) {}

  IoStatus Receive(char *buffer, std::size_t *length, int, int *error) override {
    if (m_at == m_bytes.size()) {
      *length = 0;
      *error = kEndError;
      return m_atEnd;
    }
    const std::size_t piece = m_pieces[std::min(m_receives++, m_pieces.size() - 1)];
    const std::size_t n = std::min({piece, *length, m_bytes.size() - m_at});
    std::unique_ptr<char[]> copy(new char[n]);
    std::memcpy(copy.get(), m_bytes.data() + m_at, n);
    std::memcpy(buffer, copy.get(), n);
    m_at += n;
    *length = n;
    return IoStatus::kDone;
  }

 private:
  std::string m_bytes;
  std::vector<std::size_t> m_pieces;
  IoStatus m_atEnd;
  std::size_t m_at = 0;
  std::size_t m_receives = 0;
};

// The limit of each reply: never met, as the source never waits.
inline constexpr int kPiecewiseReplyLimitMs = 1000;

// Every reply a reader takes from source, then the outcome that ended it.
inline std::vector<std::string> ReadAllReplies(CReplySource &source, ReplyRead *end) {
  CReplyReader reader(source);
  std::vector<std::string> replies;
  for (;;) {
    char reply[kReplyCapacity];
    std::size_t length = 0;
    CReplyCode code;
    int error = 0;
    *end = reader.Next(reply, &length, &code, {kPiecewiseReplyLimitMs}, &error);
    if (*end != ReplyRead::kReply) return replies;
    replies.emplace_back(reply, length);
  }
}

#endif
