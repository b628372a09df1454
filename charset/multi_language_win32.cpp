// The multi-language service over MLang: one IMultiLanguage reference of a
// CMultiLanguage object created on the calling thread's COM apartment.
#include "charset/multi_language.h"

#include <climits>
#include <new>

#include <windows.h>
#include <mlang.h>

namespace {

// mingw-w64's uuid library holds the class id but not these interface ids;
// they are MLang's published ones.
constexpr IID kIidMultiLanguage = {
    0x275c23e1, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};
constexpr IID kIidMultiLanguage2 = {
    0xdccfc164, 0x2b38, 0x11d2, {0xb7, 0xec, 0x00, 0xc0, 0x4f, 0x8f, 0x5d, 0x9a}};

class CMLangService final : public CMultiLanguageService {
 public:
  explicit CMLangService(IMultiLanguage *ml) : m_ml(ml) {}

  void AddRef() override { InterlockedIncrement(&m_refs); }
  void Release() override {
    if (InterlockedDecrement(&m_refs) == 0) delete this;
  }

  bool GetWebCharset(std::uint32_t code_page, std::u16string &name) override {
    MIMECPINFO info;
    ZeroMemory(&info, sizeof info);
    HRESULT hr;
    IMultiLanguage2 *ml2 = nullptr;
    if (SUCCEEDED(m_ml->QueryInterface(kIidMultiLanguage2, reinterpret_cast<void **>(&ml2))) &&
        ml2 != nullptr) {
      // The language only chooses the description's language; the web
      // charset name does not depend on it.
      hr = ml2->GetCodePageInfo(code_page, LANGIDFROMLCID(GetThreadLocale()), &info);
      ml2->Release();
    } else {
      hr = m_ml->GetCodePageInfo(code_page, &info);
    }
    if (hr != S_OK) return false;
    // The record's array need not be terminated by a broken service.
    std::size_t length = 0;
    while (length < ARRAYSIZE(info.wszWebCharset) && info.wszWebCharset[length] != 0) ++length;
    name.assign(reinterpret_cast<const char16_t *>(info.wszWebCharset), length);
    return true;
  }

  bool ConvertFromUnicode(std::uint32_t code_page, const char16_t *text, std::size_t count,
                          std::string &out) override {
    out.clear();
    if (count == 0) return true;
    if (text == nullptr || count > static_cast<std::size_t>(INT_MAX)) return false;
    WCHAR *source = const_cast<WCHAR *>(reinterpret_cast<const WCHAR *>(text));
    DWORD mode = 0;
    UINT source_size = static_cast<UINT>(count);
    UINT size = 0;
    // S_FALSE means the conversion is not available: nothing was converted,
    // so it is no success.
    if (m_ml->ConvertStringFromUnicode(&mode, code_page, source, &source_size, nullptr, &size) !=
        S_OK)
      return false;
    if (size == 0) return true;
    out.resize(size);
    mode = 0;
    source_size = static_cast<UINT>(count);
    UINT written = size;
    if (m_ml->ConvertStringFromUnicode(&mode, code_page, source, &source_size, out.data(),
                                       &written) != S_OK ||
        written > size) {
      out.clear();
      return false;
    }
    out.resize(written);
    return true;
  }

 private:
  ~CMLangService() override { m_ml->Release(); }

  IMultiLanguage *m_ml;
  LONG m_refs = 1;
};

}  // namespace

CMultiLanguageService *CMultiLanguageService::Create() {
  IMultiLanguage *ml = nullptr;
  if (FAILED(CoCreateInstance(CLSID_CMultiLanguage, nullptr, CLSCTX_INPROC_SERVER,
                              kIidMultiLanguage, reinterpret_cast<void **>(&ml))) ||
      ml == nullptr)
    return nullptr;
  CMultiLanguageService *service = new (std::nothrow) CMLangService(ml);
  if (service == nullptr) ml->Release();
  return service;
}
