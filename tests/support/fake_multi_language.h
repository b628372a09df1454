// A stand-in multi-language service for tests: it counts references and
// refuses every query, so code that only needs the service's presence (the
// header encoder) runs without a real one, and code that converts sees a
// refusal. It lives on the test's stack; Release never deletes it.
#ifndef MAILVANE_TESTS_SUPPORT_FAKE_MULTI_LANGUAGE_H
#define MAILVANE_TESTS_SUPPORT_FAKE_MULTI_LANGUAGE_H

#include "charset/multi_language.h"
#include "mime/mail_header.h"

class CFakeMultiLanguage : public CMultiLanguageService {
 public:
  ~CFakeMultiLanguage() override = default;
  void AddRef() override { ++m_references; }
  void Release() override { --m_references; }
  bool GetWebCharset(std::uint32_t, std::u16string &) override { return false; }
  bool ConvertFromUnicode(std::uint32_t, const char16_t *, std::size_t, std::string &) override {
    return false;
  }
  int References() const { return m_references; }

 private:
  int m_references = 0;
};

// Gives the mail (or header) the service, which takes over the caller's
// reference; null leaves it without one, as when creation failed.
inline void ReplaceMultiLanguage(CMailHeader &mail, CMultiLanguageService *service) {
  if (mail.m_multiLanguage != nullptr) mail.m_multiLanguage->Release();
  mail.m_multiLanguage = service;
}

inline void DropMultiLanguage(CMailHeader &mail) { ReplaceMultiLanguage(mail, nullptr); }

#endif
