#include "proc/xp_params.h"

#include <srv.h>

#include <cstring>

#include "proc/param_value.h"

int CXpParams::FindParam(const char *name, int position) const {
  int n = srv_paramnumber(m_srvproc, const_cast<char *>(name), SRV_NULLTERM);
  if (n >= 1) return n;
  // A value passed without a name counts only when the server reports the
  // requested name for its position.
  const char *at = srv_paramname(m_srvproc, position, nullptr);
  if (at != nullptr && std::strcmp(at, name) == 0) return position;
  return n;
}

bool CXpParams::ReadValue(const char *name, int position, CSecretString &value,
                          bool *complete, ParamText *text) const {
  if (text != nullptr) *text = ParamText::kBytes;
  int n = FindParam(name, position);
  if (n < 1) return false;
  BYTE type = 0;
  ULONG max_length = 0;
  ULONG actual_length = 0;
  WINBOOL is_null = 0;
  if (srv_paraminfo(m_srvproc, n, &type, &max_length, &actual_length, nullptr, &is_null) != SUCCEED)
    return false;
  // An empty value and SQL NULL both have length 0; the null flag adds
  // nothing.
  if (actual_length == 0) return false;
  CSecretString data(actual_length, '\0');
  int fetched = srv_paraminfo(m_srvproc, n, &type, &max_length, &actual_length,
                              reinterpret_cast<BYTE *>(data.data()), &is_null);
  if (actual_length < data.size()) data.resize(actual_length);
  if (!ParamValueToText(type, data)) {
    if (text != nullptr) *text = ParamText::kInvalidUtf16;
    return false;
  }
  if (text != nullptr && IsUnicodeType(type)) *text = ParamText::kUtf8;
  value.swap(data);
  *complete = fetched == SUCCEED;
  return true;
}

bool CXpParams::GetParam(const char *name, int position, std::string &value,
                         ParamText *text) const {
  CSecretString read;
  bool complete = false;
  if (!ReadValue(name, position, read, &complete, text)) return false;
  value.assign(read.data(), read.size());
  return complete;
}

bool CXpParams::GetParam(const char *name, int position, CSecretString &value,
                         ParamText *text) const {
  CSecretString read;
  bool complete = false;
  if (!ReadValue(name, position, read, &complete, text)) return false;
  value.swap(read);
  return complete;
}
