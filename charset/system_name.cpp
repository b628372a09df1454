#include "charset/system_name.h"

#include <cstring>

#include "charset/thread_codepage.h"
#include "charset/utf8.h"

bool WideName(const char *text, TextSource source, std::u16string &out) {
  out.clear();
  if (text == nullptr) return false;
  const std::size_t length = std::strlen(text);
  if (source == TextSource::kUtf8) return Utf16FromUtf8(text, length, out);
  return WidenFromThreadCodePage(text, length, out);
}

std::string ClientText(const std::string &text, TextSource source) {
  if (source != TextSource::kUtf8) return text;
  std::u16string wide;
  std::string narrow;
  if (!Utf16FromUtf8(text.data(), text.size(), wide) ||
      !NarrowToThreadCodePage(wide.data(), wide.size(), narrow))
    return text;
  return narrow;
}
