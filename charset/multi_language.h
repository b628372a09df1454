// The multi-language service: code-page information and conversion from
// Unicode, as one reference-counted object.
//
// On Windows this is MLang (class CMultiLanguage, interfaces IMultiLanguage
// and IMultiLanguage2) created through COM on the calling thread, which must
// have initialised COM. Elsewhere it is a service of our own over iconv that
// answers the same two queries with the names MLang gives. The mail holds one
// reference for its lifetime; Create may fail (null), and then text is kept
// unconverted.
#ifndef MAILVANE_CHARSET_MULTI_LANGUAGE_H
#define MAILVANE_CHARSET_MULTI_LANGUAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

class CMultiLanguageService {
 public:
  // A new object with one reference, or null when it cannot be created.
  static CMultiLanguageService *Create();

  virtual void AddRef() = 0;
  virtual void Release() = 0;

  // The web charset name of a code page (MIMECPINFO.wszWebCharset), asked
  // through IMultiLanguage2 with the thread's locale when the object has it,
  // else through IMultiLanguage. False when the service has no information.
  virtual bool GetWebCharset(std::uint32_t code_page, std::u16string &name) = 0;

  // Converts UTF-16 text (count units) to the code page, first asking the
  // size and then converting into a block of exactly that size. Characters
  // the code page cannot hold are replaced. False when the service refuses.
  virtual bool ConvertFromUnicode(std::uint32_t code_page, const char16_t *text,
                                  std::size_t count, std::string &out) = 0;

 protected:
  virtual ~CMultiLanguageService() = default;
};

#endif
