#include "charset/thread_codepage.h"

#include <windows.h>

namespace {

// How the thread code page is named in conversions. Systems of the NT
// family from version 5 on know CP_THREAD_ACP; older ones are given the
// thread locale's default ANSI code page by number.
constexpr LONG kRuleUndecided = 0;
constexpr LONG kRuleThreadAcp = 1;
constexpr LONG kRuleLocaleLookup = 2;
constexpr DWORD kFirstThreadAcpMajorVersion = 5;

// The one process-wide choice: decided at the first conversion, kept after.
// Racing first uses decide alike, so the last exchange stores the same rule.
volatile LONG g_codePageRule = kRuleUndecided;

LONG CodePageRule() {
  LONG rule = InterlockedCompareExchange(&g_codePageRule, kRuleUndecided, kRuleUndecided);
  if (rule != kRuleUndecided) return rule;
  DWORD version = GetVersion();
  bool nt = (version & 0x80000000u) == 0;  // the high bit marks the Windows 9x family
  DWORD major = version & 0xFF;
  rule = nt && major >= kFirstThreadAcpMajorVersion ? kRuleThreadAcp : kRuleLocaleLookup;
  InterlockedExchange(&g_codePageRule, rule);
  return rule;
}

// The default ANSI code page of the thread locale; GetACP when the locale
// does not give one.
UINT LocaleAnsiCodePage() {
  // Room for the decimal digits of any code page number and the zero.
  constexpr int kDigits = 8;
  char digits[kDigits] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, kDigits) > 0) {
    UINT cp = 0;
    for (const char *p = digits; *p >= '0' && *p <= '9'; ++p)
      cp = cp * 10 + static_cast<UINT>(*p - '0');
    if (cp != 0) return cp;
  }
  return GetACP();
}

UINT ConversionCodePage() {
  return CodePageRule() == kRuleThreadAcp ? CP_THREAD_ACP : LocaleAnsiCodePage();
}

}  // namespace

// The number of the code page the conversions use: what CP_THREAD_ACP
// stands for on this thread now.
std::uint32_t ThreadCodePage() {
  CPINFOEXW info;
  if (GetCPInfoExW(ConversionCodePage(), 0, &info)) return info.CodePage;
  return LocaleAnsiCodePage();
}

std::uint32_t AnsiCodePage() { return GetACP(); }

bool WidenFromThreadCodePage(const char *text, std::size_t length, std::u16string &out) {
  out.clear();
  if (length == 0) return true;
  if (length > static_cast<std::size_t>(MAXINT)) return false;
  UINT cp = ConversionCodePage();
  int n = MultiByteToWideChar(cp, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  if (MultiByteToWideChar(cp, 0, text, static_cast<int>(length),
                          reinterpret_cast<wchar_t *>(out.data()), n) != n) {
    out.clear();
    return false;
  }
  return true;
}

bool NarrowToThreadCodePage(const char16_t *text, std::size_t count, std::string &out) {
  out.clear();
  if (count == 0) return true;
  if (count > static_cast<std::size_t>(MAXINT)) return false;
  UINT cp = ConversionCodePage();
  const wchar_t *wide = reinterpret_cast<const wchar_t *>(text);
  int n = WideCharToMultiByte(cp, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  if (WideCharToMultiByte(cp, 0, wide, static_cast<int>(count), out.data(), n, nullptr,
                          nullptr) != n) {
    out.clear();
    return false;
  }
  return true;
}
