#include "charset/system_name.h"

#include "charset/utf8.h"

bool ToSystemName(std::string &text, TextSource &source) {
  if (source != TextSource::kUtf8) return true;
  std::string narrow;
  if (!ThreadCodePageFromUtf8(text, narrow)) return false;
  text.swap(narrow);
  source = TextSource::kThreadCodePage;
  return true;
}
