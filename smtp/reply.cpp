#include "smtp/reply.h"

namespace {

// Digits of a reply code.
constexpr std::size_t kCodeLength = 3;
// Beyond any reply code; a longer run of digits stops growing here.
constexpr int kNumberCeiling = 100000;
constexpr int kRecipientOk = 250;
constexpr int kRecipientForwarded = 251;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool ReplyCodeIs(const char *reply, std::size_t length, const char *expected) {
  if (reply == nullptr || expected == nullptr || length < kCodeLength) return false;
  for (std::size_t i = 0; i < kCodeLength; ++i)
    if (expected[i] == '\0' || reply[i] != expected[i]) return false;
  return true;
}

int ReplyNumber(const char *reply, std::size_t length) {
  if (reply == nullptr) return 0;
  std::size_t i = 0;
  while (i < length && IsBlank(reply[i])) ++i;
  int value = 0;
  for (; i < length && IsDigit(reply[i]); ++i)
    if (value < kNumberCeiling) value = value * 10 + (reply[i] - '0');
  return value;
}

bool AcceptsRecipient(const char *reply, std::size_t length) {
  const int number = ReplyNumber(reply, length);
  return number == kRecipientOk || number == kRecipientForwarded;
}

std::string ReplyCodeText(const char *reply, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; reply != nullptr && i < length && i < kCodeLength; ++i) {
    unsigned char c = static_cast<unsigned char>(reply[i]);
    text.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
  return text;
}

bool CReplyEndScanner::Feed(const char *bytes, std::size_t length) {
  for (std::size_t i = 0; i < length && !m_done; ++i) {
    char c = bytes[i];
    if (c == '\n') {
      if (m_afterCr && m_final) m_done = true;
      m_column = 0;
      m_notCode = false;
      m_final = false;
      m_afterCr = false;
      continue;
    }
    if (m_column < kCodeLength) {
      if (!IsDigit(c)) m_notCode = true;
    } else if (m_column == kCodeLength && !m_notCode) {
      m_final = c == ' ' || c == '\r';
    }
    m_afterCr = c == '\r';
    if (m_column <= kCodeLength) ++m_column;
  }
  return m_done;
}
