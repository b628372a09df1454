#include "charset/thread_codepage.h"

#include <windows.h>

std::uint32_t ThreadCodePage() {
  char digits[8] = {};
  // The ANSI code page of the thread's locale, as decimal digits.
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits) > 0) {
    std::uint32_t cp = 0;
    for (const char *p = digits; *p >= '0' && *p <= '9'; ++p) cp = cp * 10 + static_cast<std::uint32_t>(*p - '0');
    if (cp != 0) return cp;
  }
  return GetACP();
}

std::uint32_t AnsiCodePage() { return GetACP(); }

bool WidenFromThreadCodePage(const char *text, std::size_t length, std::u16string &out) {
  out.clear();
  if (length == 0) return true;
  int n = MultiByteToWideChar(CP_THREAD_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(CP_THREAD_ACP, 0, text, static_cast<int>(length),
                             reinterpret_cast<wchar_t *>(out.data()), n) == n;
}

bool NarrowToThreadCodePage(const char16_t *text, std::size_t count, std::string &out) {
  out.clear();
  if (count == 0) return true;
  const wchar_t *wide = reinterpret_cast<const wchar_t *>(text);
  int n = WideCharToMultiByte(CP_THREAD_ACP, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(CP_THREAD_ACP, 0, wide, static_cast<int>(count), out.data(), n,
                             nullptr, nullptr) == n;
}
