#include "mime/header_fold.h"

#include "mime/encoded_word.h"

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
  // The line being written starts after the block's last CR LF (the field
  // name is on it already). fold_at is where that line may still be
  // broken: before the last blank outside an address or encoded word,
  // quoted strings included (RFC 5322 3.2.4 allows FWS there, and
  // unfolding gives back the same text).
  const std::size_t last_break = block.rfind("\r\n");
  std::size_t line_start = last_break == std::string::npos ? 0 : last_break + 2;
  std::size_t fold_at = std::string::npos;
  auto append_foldable = [&](char c) {
    if ((c == ' ' || c == '\t') && block.size() > line_start) fold_at = block.size();
    block += c;
    if (c == '\n' && block.size() >= 2 && block[block.size() - 2] == '\r') {
      // A fold already in the item (between encoded words): a new line.
      line_start = block.size();
      fold_at = std::string::npos;
    }
  };
  // A line that has passed the fold column is broken at its last blank;
  // a line without one (a single word that long) cannot be.
  auto fold_if_long = [&]() {
    if (block.size() - line_start <= static_cast<std::size_t>(kValueFoldColumn)) return;
    if (fold_at == std::string::npos) return;
    block.insert(fold_at, "\r\n");
    line_start = fold_at + 2;
    fold_at = std::string::npos;
  };
  std::size_t i = 0;
  while (i < list.size()) {
    char c = list[i];
    if (c == '"') {
      // A quoted string, with backslash escapes, up to its closing quote.
      std::size_t end = i + 1;
      while (end < list.size() && list[end] != '"') end += list[end] == '\\' ? 2 : 1;
      end = end < list.size() ? end + 1 : list.size();
      for (std::size_t k = i; k < end; ++k) {
        append_foldable(list[k]);
        fold_if_long();
      }
      i = end;
    } else if (c == '<') {
      std::size_t close = list.find('>', i + 1);
      std::size_t end = close == std::string::npos ? list.size() : close + 1;
      block.append(list, i, end - i);
      fold_if_long();
      i = end;
    } else if (std::size_t end = EncodedWordEnd(list, i); end != i) {
      block.append(list, i, end - i);
      fold_if_long();
      i = end;
    } else if (c == ',') {
      block += ",\r\n\t";
      line_start = block.size() - 1;
      fold_at = std::string::npos;
      ++i;
      if (i < list.size() && list[i] == ' ') ++i;
    } else {
      append_foldable(c);
      fold_if_long();
      ++i;
    }
  }
}
