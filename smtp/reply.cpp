#include "smtp/reply.h"

#include <cstring>

namespace {

// Beyond any reply code; a longer run of digits stops growing here.
constexpr int kNumberCeiling = 100000;
constexpr int kRecipientOk = 250;
constexpr int kRecipientForwarded = 251;

// What may follow the code of a reply line: the hyphen of a line that
// continues the reply, the space before its text, or the line end.
constexpr char kContinues = '-';
constexpr char kLineEnd = '\n';

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool ReplyCodeIs(const char *reply, std::size_t length, const char *expected) {
  if (reply == nullptr || expected == nullptr || length < kReplyCodeLength) return false;
  for (std::size_t i = 0; i < kReplyCodeLength; ++i)
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
  for (std::size_t i = 0; reply != nullptr && i < length && i < kReplyCodeLength; ++i) {
    unsigned char c = static_cast<unsigned char>(reply[i]);
    text.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
  return text;
}

bool CReplyCode::Is(const char *expected) const {
  return m_wellFormed && ReplyCodeIs(m_start, m_length, expected);
}

bool CReplyCode::AcceptsRecipient() const {
  return m_agrees && ::AcceptsRecipient(m_start, m_length);
}

std::size_t CReplyLines::Take(const char *data, std::size_t length) {
  if (m_done) return 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (c == kLineEnd) {
      EndLine();
      if (m_done) return i + 1;
      continue;
    }
    const bool kept = m_column < kKeptLineStart;
    if (kept) m_line[m_column++] = c;
    m_storedCr = kept && c == '\r';
  }
  return length;
}

void CReplyLines::EndLine() {
  // The CR of a CR LF is the line end, not part of the line.
  const std::size_t length = m_column - (m_storedCr ? 1 : 0);
  bool digits = length >= kReplyCodeLength;
  for (std::size_t i = 0; digits && i < kReplyCodeLength; ++i) digits = IsDigit(m_line[i]);
  const char after = length > kReplyCodeLength ? m_line[kReplyCodeLength] : kLineEnd;
  const bool replyLine = digits && (after == kContinues || after == ' ' || after == kLineEnd);
  const std::size_t code = length < kReplyCodeLength ? length : kReplyCodeLength;
  const std::size_t lastCode =
      m_code.m_length < kReplyCodeLength ? m_code.m_length : kReplyCodeLength;
  const bool first = m_lines == 0;
  const bool same =
      first || (code == lastCode && std::memcmp(m_code.m_start, m_line, code) == 0);
  m_code.m_agrees = (first || m_code.m_agrees) && same;
  m_code.m_wellFormed = (first || m_code.m_wellFormed) && same && replyLine;
  std::memcpy(m_code.m_start, m_line, length);
  m_code.m_length = length;
  ++m_lines;
  m_done = !(digits && after == kContinues);
  m_column = 0;
  m_storedCr = false;
}

CReplyCode CReplyLines::Code() const {
  if (m_lines > 0) return m_code;
  CReplyCode partial;
  std::memcpy(partial.m_start, m_line, m_column);
  partial.m_length = m_column;
  return partial;
}
