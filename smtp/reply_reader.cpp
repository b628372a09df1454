#include "smtp/reply_reader.h"

#include <chrono>
#include <cstring>

ReplyRead CReplyReader::Next(char *reply, std::size_t *length, CReplyCode *code,
                             const CReplyWait &wait, int *error) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait.limitMs);
  CReplyLines lines;
  std::size_t total = 0;
  *length = 0;
  *code = CReplyCode();
  for (;;) {
    if (m_heldLength > 0) {
      if (total == 0 && wait.restMs != kNoRestLimit)
        deadline = Clock::now() + std::chrono::milliseconds(wait.restMs);
      // What is held belongs to this reply up to its last line; the rest
      // waits for the next one.
      const std::size_t taken = lines.Take(m_held, m_heldLength);
      const std::size_t room = kReplyCapacity - *length;
      const std::size_t kept = taken < room ? taken : room;
      std::memcpy(reply + *length, m_held, kept);
      *length += kept;
      if (wait.keywords != nullptr) wait.keywords->Feed(m_held, taken);
      total += taken;
      std::memmove(m_held, m_held + taken, m_heldLength - taken);
      m_heldLength -= taken;
      *code = lines.Code();
      if (lines.Done()) return ReplyRead::kReply;
      if (total > kMaxReplyLength) return ReplyRead::kTooLong;
    }

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
      case IoStatus::kCancelled:
        return ReplyRead::kCancelled;
    }
    if (received == 0) return ReplyRead::kClosed;
    m_heldLength = received;
  }
}
