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

bool CXpParams::ReadValue(const char *name, int position, CSecretString &text,
                          bool *complete) const {
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
  if (!ParamValueToText(type, data)) return false;
  text.swap(data);
  *complete = fetched == SUCCEED;
  return true;
}

bool CXpParams::GetParam(const char *name, int position, std::string &value) const {
  CSecretString text;
  bool complete = false;
  if (!ReadValue(name, position, text, &complete)) return false;
  value.assign(text.data(), text.size());
  return complete;
}

bool CXpParams::GetParam(const char *name, int position, CSecretString &value) const {
  CSecretString text;
  bool complete = false;
  if (!ReadValue(name, position, text, &complete)) return false;
  value.swap(text);
  return complete;
}
