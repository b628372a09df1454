#include "charset/thread_codepage.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>  // explicit_bzero

#include "charset/codepage_names.h"
#include "charset/iconv_convert.h"

namespace {

// The codeset of the calling thread's locale (uselocale), or of the global
// locale when the thread has none of its own.
const char *ThreadCodeset() {
  locale_t current = uselocale(static_cast<locale_t>(0));
  if (current == LC_GLOBAL_LOCALE) return nl_langinfo(CODESET);
  return nl_langinfo_l(CODESET, current);
}

}  // namespace

std::uint32_t ThreadCodePage() { return CodePageOfCodeset(ThreadCodeset()); }

std::uint32_t AnsiCodePage() { return ThreadCodePage(); }

bool WidenFromThreadCodePage(const char *text, std::size_t length, std::u16string &out) {
  out.clear();
  std::string bytes;
  if (!IconvConvert(ThreadCodeset(), "UTF-16LE", text, length, 1, bytes)) return false;
  out.resize(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return true;
}

bool NarrowToThreadCodePage(const char16_t *text, std::size_t count, std::string &out) {
  std::string bytes(count * 2, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  bool converted = IconvConvert("UTF-16LE", ThreadCodeset(), bytes.data(), bytes.size(), 2, out);
  // The text may be a password (an N'...' "@pwd").
  explicit_bzero(bytes.data(), bytes.size());
  return converted;
}
