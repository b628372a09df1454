#include "charset/codepage_names.h"

#include <cstddef>

#include "charset/ascii_case.h"

namespace {

// Windows code page, iconv name, web charset name as the Windows
// multi-language service reports it (MIMECPINFO.wszWebCharset).
constexpr CodePageName kCodePages[] = {
    {437, "CP437", "ibm437"},
    {850, "CP850", "ibm850"},
    {866, "CP866", "cp866"},
    {874, "CP874", "windows-874"},
    {932, "CP932", "shift_jis"},
    {936, "CP936", "gb2312"},
    {949, "CP949", "ks_c_5601-1987"},
    {950, "CP950", "big5"},
    {1250, "CP1250", "windows-1250"},
    {1251, "CP1251", "windows-1251"},
    {1252, "CP1252", "windows-1252"},
    {1253, "CP1253", "windows-1253"},
    {1254, "CP1254", "windows-1254"},
    {1255, "CP1255", "windows-1255"},
    {1256, "CP1256", "windows-1256"},
    {1257, "CP1257", "windows-1257"},
    {1258, "CP1258", "windows-1258"},
    {20127, "ANSI_X3.4-1968", "us-ascii"},
    {20866, "KOI8-R", "koi8-r"},
    {21866, "KOI8-U", "koi8-u"},
    {28591, "ISO-8859-1", "iso-8859-1"},
    {28592, "ISO-8859-2", "iso-8859-2"},
    {28593, "ISO-8859-3", "iso-8859-3"},
    {28594, "ISO-8859-4", "iso-8859-4"},
    {28595, "ISO-8859-5", "iso-8859-5"},
    {28596, "ISO-8859-6", "iso-8859-6"},
    {28597, "ISO-8859-7", "iso-8859-7"},
    {28598, "ISO-8859-8", "iso-8859-8"},
    {28599, "ISO-8859-9", "iso-8859-9"},
    {28603, "ISO-8859-13", "iso-8859-13"},
    {28605, "ISO-8859-15", "iso-8859-15"},
    {50220, "ISO-2022-JP", "iso-2022-jp"},
    {50225, "ISO-2022-KR", "iso-2022-kr"},
    {51932, "EUC-JP", "euc-jp"},
    {51949, "EUC-KR", "euc-kr"},
    {54936, "GB18030", "GB18030"},
    {65000, "UTF-7", "utf-7"},
    {65001, "UTF-8", "utf-8"},
};

// Codeset spellings compared as glibc does: case, '-' and '_' ignored.
bool SameCodeset(const char *a, const char *b) {
  for (;;) {
    while (*a == '-' || *a == '_') ++a;
    while (*b == '-' || *b == '_') ++b;
    const char x = AsciiUpper(*a), y = AsciiUpper(*b);
    if (x != y) return false;
    if (x == '\0') return true;
    ++a;
    ++b;
  }
}

struct Alias {
  const char *codeset;
  std::uint32_t code_page;
};

// Other names under which locales report the same codesets.
constexpr Alias kAliases[] = {
    {"ASCII", 20127},   {"US-ASCII", 20127}, {"ISO-8859-1", 28591}, {"LATIN1", 28591},
    {"SHIFT_JIS", 932}, {"SJIS", 932},       {"GBK", 936},          {"GB2312", 936},
    {"UHC", 949},       {"BIG5", 950},       {"UTF8", 65001},
};

}  // namespace

const CodePageName *FindCodePage(std::uint32_t code_page) {
  for (const CodePageName &entry : kCodePages)
    if (entry.code_page == code_page) return &entry;
  return nullptr;
}

std::uint32_t CodePageOfCodeset(const char *codeset) {
  if (codeset == nullptr) return 0;
  for (const CodePageName &entry : kCodePages)
    if (SameCodeset(entry.iconv_name, codeset)) return entry.code_page;
  for (const Alias &alias : kAliases)
    if (SameCodeset(alias.codeset, codeset)) return alias.code_page;
  return 0;
}
