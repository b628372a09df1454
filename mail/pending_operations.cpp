// Operations not built yet. Each fails plainly (E_NOTIMPL, 0, null) and
// none pretends to succeed; each moves to its own file when it is built.
#include "charset/convert.h"
#include "charset/multi_language.h"

CMultiLanguageService *CMultiLanguageService::Create() { return nullptr; }

bool ConvertText(CMultiLanguageService *, std::uint32_t, const char *, std::string &out) {
  out.clear();
  return false;
}

bool GetCharsetName(char *, std::uint32_t, CMultiLanguageService *, int) { return false; }
