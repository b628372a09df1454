// UTF-8 and the UTF-16 of Windows API strings, for the Windows platform
// files of xpexec only (its implementation is wide_text_win32.cpp).
// Invalid input becomes U+FFFD; conversion never fails.
#ifndef MAILVANE_HOST_XPEXEC_WIDE_TEXT_H
#define MAILVANE_HOST_XPEXEC_WIDE_TEXT_H

#include <string>
#include <string_view>

namespace xpexec {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace xpexec

#endif
