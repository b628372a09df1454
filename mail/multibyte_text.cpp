#include "mail/multibyte_text.h"

namespace {

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the character that starts at i: 2 for a lead byte with a
// byte after it, else 1.
std::size_t CharacterLength(const std::string &text, std::size_t i, const CLeadBytes &lead) {
  return lead.IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::size_t FindCharacter(const std::string &text, char c, std::size_t from,
                          const CLeadBytes &lead) {
  for (std::size_t i = from; i < text.size(); i += CharacterLength(text, i, lead))
    if (text[i] == c) return i;
  return std::string::npos;
}

std::string TrimBlanks(const std::string &text, const CLeadBytes &lead) {
  // A blank is never a lead byte, so the first character that is not one
  // starts the result; the end is found by walking whole characters.
  std::size_t begin = 0;
  while (begin < text.size() && IsBlank(static_cast<unsigned char>(text[begin]))) ++begin;
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size();) {
    std::size_t n = CharacterLength(text, i, lead);
    if (n == 2 || !IsBlank(static_cast<unsigned char>(text[i]))) end = i + n;
    i += n;
  }
  return text.substr(begin, end - begin);
}

void AppendQuotedText(std::string &out, const std::string &name, const CLeadBytes &lead) {
  for (std::size_t i = 0; i < name.size();) {
    std::size_t n = CharacterLength(name, i, lead);
    if (n == 1 && (name[i] == '\\' || name[i] == '"')) out.push_back('\\');
    out.append(name, i, n);
    i += n;
  }
}
