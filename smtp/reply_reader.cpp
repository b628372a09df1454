#include "smtp/reply_reader.h"

#include <chrono>
#include <cstring>

namespace {

// Digits of a reply code; the byte after them says whether the reply goes on.
constexpr std::size_t kCodeLength = 3;
constexpr char kContinues = '-';

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Watches the lines of one reply for the one that ends it.
class CReplyLines {
 public:
  // The bytes of data up to and including the LF of the reply's last
  // line, or all of them when that line has not come yet.
  std::size_t Take(const char *data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      const char c = data[i];
      if (c == '\n') {
        if (!m_continues) {
          m_done = true;
          return i + 1;
        }
        m_column = 0;
        m_notCode = false;
        m_continues = false;
        continue;
      }
      if (m_column < kCodeLength) {
        if (!IsDigit(c)) m_notCode = true;
      } else if (m_column == kCodeLength) {
        m_continues = !m_notCode && c == kContinues;
      }
      if (m_column <= kCodeLength) ++m_column;
    }
    return length;
  }
  bool Done() const { return m_done; }

 private:
  std::size_t m_column = 0;
  bool m_notCode = false;
  bool m_continues = false;
  bool m_done = false;
};

}  // namespace

ReplyRead CReplyReader::Next(char *reply, std::size_t *length, int timeoutMs, int *error) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  CReplyLines lines;
  std::size_t total = 0;
  *length = 0;
  for (;;) {
    // What is held belongs to this reply up to its last line; the rest
    // waits for the next one.
    const std::size_t taken = lines.Take(m_held, m_heldLength);
    const std::size_t room = kReplyCapacity - *length;
    const std::size_t kept = taken < room ? taken : room;
    std::memcpy(reply + *length, m_held, kept);
    *length += kept;
    total += taken;
    std::memmove(m_held, m_held + taken, m_heldLength - taken);
    m_heldLength -= taken;
    if (lines.Done()) return ReplyRead::kReply;
    if (total > kMaxReplyLength) return ReplyRead::kTooLong;

    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReplyRead::kTimedOut;
    std::size_t received = sizeof m_held;
    switch (m_source.Receive(m_held, &received, static_cast<int>(left), error)) {
      case IoStatus::kDone:
        break;
      case IoStatus::kTimedOut:
        return ReplyRead::kTimedOut;
      case IoStatus::kFailed:
        return ReplyRead::kFailed;
    }
    if (received == 0) return ReplyRead::kClosed;
    m_heldLength = received;
  }
}
