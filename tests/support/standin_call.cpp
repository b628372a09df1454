#include "tests/support/standin_call.h"

#include <gtest/gtest.h>

CStandinCall::CStandinCall() : m_call(standin_open()) {}
CStandinCall::~CStandinCall() { standin_close(m_call); }

CStandinCall &CStandinCall::Varchar(const char *name, const std::string &value) {
  standin_add_param(m_call, name, STANDIN_TYPE_VARCHAR, value.data(), value.size(), 0);
  return *this;
}

CStandinCall &CStandinCall::NVarchar(const char *name, const std::u16string &value) {
  std::string bytes;
  for (char16_t c : value) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  standin_add_param(m_call, name, STANDIN_TYPE_NVARCHAR, bytes.data(), bytes.size(), 0);
  return *this;
}

CStandinCall &CStandinCall::Int(const char *name, std::int32_t value) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
  standin_add_param(m_call, name, STANDIN_TYPE_INT, bytes, sizeof bytes, 0);
  return *this;
}

CStandinCall &CStandinCall::Null(const char *name) {
  standin_add_param(m_call, name, STANDIN_TYPE_VARCHAR, nullptr, 0, 1);
  return *this;
}

CStandinCall &CStandinCall::Output(const char *name, int type, std::uint32_t maxLength) {
  standin_add_output_param(m_call, name, type, maxLength);
  return *this;
}

std::string CStandinCall::Value(int n) const {
  const char *data = nullptr;
  size_t length = 0;
  int isNull = 1;
  if (standin_param_value(m_call, n, &data, &length, &isNull) == 0 || isNull) return "NULL";
  return std::string(data, length);
}

std::vector<StandinToken> CStandinCall::Tokens() const {
  std::vector<StandinToken> tokens;
  for (size_t i = 0; i < standin_token_count(m_call); ++i) tokens.push_back(*standin_token(m_call, i));
  return tokens;
}

std::string CStandinCall::MessageText() const {
  std::vector<StandinToken> messages;
  for (const StandinToken &t : Tokens())
    if (t.kind == STANDIN_TOKEN_MESSAGE) messages.push_back(t);
  EXPECT_EQ(messages.size(), 1u);
  if (messages.size() != 1) return "";
  return std::string(messages[0].text, messages[0].text_length);
}
