// Windows: the ANSI code page, through UTF-16.
#include "host/xpexec/host_codepage.h"

#include <windows.h>

#include <clocale>

#include "host/xpexec/wide_text.h"

namespace xpexec {

void UseHostLocale() { std::setlocale(LC_ALL, ""); }

std::string Utf8ToHostCodepage(std::string_view utf8) {
  if (GetACP() == CP_UTF8 || utf8.empty()) return std::string(utf8);
  // Invalid UTF-8 becomes U+FFFD here, and the code page's default
  // character ('?') below, as does a character CP_ACP cannot hold.
  std::wstring wide = Utf8ToWide(utf8);
  if (wide.empty()) return std::string();
  int wide_length = static_cast<int>(wide.size());
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr,
                                   nullptr);
  if (length <= 0) return std::string();
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace xpexec
