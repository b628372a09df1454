// CXpParams: the parameters of one call, read through ODS.
//
// The constructor lists the call's parameters once: srv_rpcparams for their
// number, then srv_paramname and srv_paraminfo (without a buffer) for each
// position from 1 to that number, into a small table of name, position,
// type and lengths. Every look-up afterwards is a search of that table:
// the server is never asked for a name that was not passed nor for a
// position that does not exist, questions its reference answers with a
// message to the client. A value's bytes are fetched only when asked for.
//
// Find takes a parameter by its name (compared as the server compares
// identifiers: ASCII letters without regard to case), or, for one passed
// without a name, at the position it has in the usage text when the name
// listed there equals the requested one exactly. Position 0 asks by name
// only (the options beyond the twelve).
//
// GetParam copies a value. It never reports anything: an absent, empty,
// NULL or unreadable parameter leaves the caller's string as it was.
// Values of the 8-bit types arrive byte for byte. Values of the Unicode
// types (nchar, nvarchar, ntext) arrive as UTF-16LE and are converted to
// UTF-8, every character kept (param_value.h), so N'bob@example.com' is
// not cut at its first zero byte; the caller learns which of the two a
// value is. A Unicode value that is not well-formed UTF-16 is not fetched
// and is named as such. Values of the integer types arrive as their
// decimal text. A value whose text would pass kMaxValueBytes
// (param_value.h) is not fetched, or not converted, and is named as such:
// the length the server lists decides before anything is read, and a
// Unicode value's UTF-8 length before its text is made.
//
// The reader cannot tell a password from a subject, so every value is read
// and converted in buffers that are wiped before they are freed; a secret
// is fetched into a CSecretString, which keeps it so. The table holds no
// value. The constructor throws std::bad_alloc.
#ifndef MAILVANE_PROC_XP_PARAMS_H
#define MAILVANE_PROC_XP_PARAMS_H

#include <cstdint>
#include <string>
#include <vector>

#include "mail/secret_string.h"

struct CXPData;

// What the text of a fetched value is.
enum class ParamText {
  kBytes,          // an 8-bit value (thread code page) or an integer's digits
  kUtf8,           // a Unicode value, converted to UTF-8
  kInvalidUtf16,   // a Unicode value that is not well-formed UTF-16: not fetched
  kTooLong,        // a value longer than kMaxValueBytes: not fetched
};

// One parameter as the server lists it.
struct CXpParam {
  int position = 0;         // 1 .. the number of parameters
  std::string name;         // "" for a value passed without a name
  int type = 0;             // the SQL type code
  std::uint32_t maxLength = 0;
  std::uint32_t actualLength = 0;  // 0 for an empty value and for NULL
  bool listed = false;      // srv_paraminfo described it
};

class CXpParams {
 public:
  explicit CXpParams(CXPData *srvproc);
  virtual ~CXpParams() = default;

  // The number of parameters the call was given.
  int Count() const { return static_cast<int>(m_params.size()); }
  // Every parameter, in the order of the call.
  const std::vector<CXpParam> &All() const { return m_params; }
  // The parameter for name (position: its place in the usage text, 0 for
  // none); null when the call has none.
  const CXpParam *Find(const char *name, int position) const;

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

  CXPData *m_srvproc;
  std::vector<CXpParam> m_params;
};

#endif
