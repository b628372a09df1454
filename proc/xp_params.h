// CXpParams: reads the procedure's parameters through ODS.
//
// GetParam finds a parameter by name, or by the position it has in the usage
// text when the server reports that same name there, and copies its value.
// It never reports anything: an absent, empty, NULL or unreadable parameter
// leaves the caller's string as it was.
//
// Values of the 8-bit types arrive byte for byte. Values of the Unicode
// types (nchar, nvarchar, ntext) arrive as UTF-16LE and are converted to
// UTF-8, every character kept (param_value.h), so N'bob@example.com' is
// not cut at its first zero byte; the caller learns which of the two a
// value is. A Unicode value that is not well-formed UTF-16 is not fetched
// and is named as such. Values of the integer types arrive as their
// decimal text.
//
// The reader cannot tell a password from a subject, so every value is read
// and converted in buffers that are wiped before they are freed; a secret
// is fetched into a CSecretString, which keeps it so.
#ifndef MAILVANE_PROC_XP_PARAMS_H
#define MAILVANE_PROC_XP_PARAMS_H

#include <string>

#include "mail/secret_string.h"

struct CXPData;

// What the text of a fetched value is.
enum class ParamText {
  kBytes,          // an 8-bit value (thread code page) or an integer's digits
  kUtf8,           // a Unicode value, converted to UTF-8
  kInvalidUtf16,   // a Unicode value that is not well-formed UTF-16: not fetched
};

class CXpParams {
 public:
  explicit CXpParams(CXPData *srvproc) : m_srvproc(srvproc) {}
  virtual ~CXpParams() = default;

  // True when a value was fetched into value. When text is given, it
  // receives what the value's text is (kBytes for an absent value).
  bool GetParam(const char *name, int position, std::string &value,
                ParamText *text = nullptr) const;
  bool GetParam(const char *name, int position, CSecretString &value,
                ParamText *text = nullptr) const;

 private:
  // The parameter's value as text in text, and true; false when it is
  // absent, empty, NULL or cannot be converted. *complete: ODS gave the
  // whole value.
  bool ReadValue(const char *name, int position, CSecretString &value, bool *complete,
                 ParamText *text) const;
  // The parameter's number; 0 or less when it is absent.
  int FindParam(const char *name, int position) const;

  CXPData *m_srvproc;
};

#endif
