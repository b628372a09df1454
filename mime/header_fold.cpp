#include "mime/header_fold.h"

namespace {

// The end of the encoded word "=?charset?x?text?=" starting at pos, or pos
// when none starts there.
std::size_t EncodedWordEnd(const std::string &text, std::size_t pos) {
  if (text.compare(pos, 2, "=?") != 0) return pos;
  std::size_t charset_end = text.find('?', pos + 2);
  if (charset_end == std::string::npos) return pos;
  std::size_t encoding_end = text.find('?', charset_end + 1);
  if (encoding_end == std::string::npos) return pos;
  std::size_t close = text.find("?=", encoding_end + 1);
  if (close == std::string::npos) return pos;
  return close + 2;
}

}  // namespace

bool HasBareLineBreak(const std::string &text) {
  for (std::size_t i = text.find_first_of("\r\n"); i != std::string::npos;
       i = text.find_first_of("\r\n", i + 3)) {
    bool fold = text.compare(i, 2, "\r\n") == 0 && i + 2 < text.size() &&
                (text[i + 2] == ' ' || text[i + 2] == '\t');
    if (!fold) return true;
  }
  return false;
}

void AppendValueFolded(std::string &block, const std::string &value) {
  int column = kValueFieldWidth;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (column == kValueFoldColumn) {
      block += "\r\n\t";
      column = 0;
    }
    if (value[i] == '\n' && i > 0 && value[i - 1] == '\r') column = -1;
    block += value[i];
    ++column;
  }
}

void AppendListFolded(std::string &block, const std::string &list) {
  std::size_t i = 0;
  while (i < list.size()) {
    char c = list[i];
    if (c == '"') {
      // A quoted string, with backslash escapes, up to its closing quote.
      std::size_t end = i + 1;
      while (end < list.size() && list[end] != '"') end += list[end] == '\\' ? 2 : 1;
      end = end < list.size() ? end + 1 : list.size();
      block.append(list, i, end - i);
      i = end;
    } else if (c == '<') {
      std::size_t close = list.find('>', i + 1);
      std::size_t end = close == std::string::npos ? list.size() : close + 1;
      block.append(list, i, end - i);
      i = end;
    } else if (std::size_t end = EncodedWordEnd(list, i); end != i) {
      block.append(list, i, end - i);
      i = end;
    } else if (c == ',') {
      block += ",\r\n\t";
      ++i;
      if (i < list.size() && list[i] == ' ') ++i;
    } else {
      block += c;
      ++i;
    }
  }
}
