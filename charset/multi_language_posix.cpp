// The multi-language service over iconv: code page names come from the
// code page table, conversions from iconv with replacement.
#include "charset/multi_language.h"

#include <atomic>
#include <new>

#include "charset/codepage_names.h"
#include "charset/iconv_convert.h"

namespace {

class CIconvService final : public CMultiLanguageService {
 public:
  void AddRef() override { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void Release() override {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  bool GetWebCharset(std::uint32_t code_page, std::u16string &name) override {
    const CodePageName *entry = FindCodePage(code_page);
    if (entry == nullptr) return false;
    name.clear();
    for (const char *p = entry->web_charset; *p != '\0'; ++p)
      name.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return true;
  }

  bool ConvertFromUnicode(std::uint32_t code_page, const char16_t *text, std::size_t count,
                          std::string &out) override {
    out.clear();
    const CodePageName *entry = FindCodePage(code_page);
    if (entry == nullptr) return false;
    if (count == 0) return true;
    if (text == nullptr) return false;
    std::string bytes(count * 2, '\0');
    for (std::size_t i = 0; i < count; ++i) {
      bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return IconvConvert("UTF-16LE", entry->iconv_name, bytes.data(), bytes.size(), 2, out);
  }

 private:
  ~CIconvService() override = default;

  std::atomic<int> m_refs{1};
};

}  // namespace

CMultiLanguageService *CMultiLanguageService::Create() {
  return new (std::nothrow) CIconvService();
}
