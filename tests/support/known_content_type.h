// A file extension whose content type the platform lookup is sure to know,
// for the lifetime of the object: on Windows an extension of the test's own,
// registered under HKEY_CLASSES_ROOT and removed afterwards (a fresh Wine
// prefix need not list .txt; the tests run in their own prefix); elsewhere
// .txt, which Debian's /etc/mime.types lists as text/plain.
#ifndef MAILVANE_TESTS_SUPPORT_KNOWN_CONTENT_TYPE_H
#define MAILVANE_TESTS_SUPPORT_KNOWN_CONTENT_TYPE_H

#include <string>

class CKnownContentType {
 public:
  CKnownContentType();
  ~CKnownContentType();
  CKnownContentType(const CKnownContentType &) = delete;
  CKnownContentType &operator=(const CKnownContentType &) = delete;

  const std::string &Extension() const { return m_extension; }  // with its dot
  const std::string &Type() const { return m_type; }

 private:
  std::string m_extension;
  std::string m_type;
};

#endif
