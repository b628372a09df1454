#include "proc/xp_params.h"

#include <srv.h>

#include <cstring>

#include "charset/ascii_case.h"
#include "proc/param_value.h"

namespace {

// Parameter names compare as the server compares identifiers under its
// usual case-insensitive collation.
bool SameName(const std::string &listed, const char *name) {
  std::size_t i = 0;
  for (; i < listed.size() && name[i] != '\0'; ++i)
    if (AsciiLower(listed[i]) != AsciiLower(name[i])) return false;
  return i == listed.size() && name[i] == '\0';
}

}  // namespace

CXpParams::CXpParams(CXPData *srvproc) : m_srvproc(srvproc) {
  const int count = srv_rpcparams(srvproc);
  if (count > 0) m_params.reserve(static_cast<std::size_t>(count));
  for (int n = 1; n <= count; ++n) {
    CXpParam param;
    param.position = n;
    int length = 0;
    if (const char *name = srv_paramname(srvproc, n, &length))
      param.name.assign(name, length > 0 ? static_cast<std::size_t>(length) : std::strlen(name));
    BYTE type = 0;
    ULONG max_length = 0;
    ULONG actual_length = 0;
    WINBOOL is_null = 0;
    param.listed = srv_paraminfo(srvproc, n, &type, &max_length, &actual_length, nullptr,
                                 &is_null) == SUCCEED;
    param.type = type;
    param.maxLength = max_length;
    param.actualLength = actual_length;
    m_params.push_back(std::move(param));
  }
}

const CXpParam *CXpParams::Find(const char *name, int position) const {
  for (const CXpParam &param : m_params)
    if (!param.name.empty() && SameName(param.name, name)) return &param;
  // A value passed without a name counts only when the server lists the
  // requested name at its position.
  if (position >= 1 && position <= Count()) {
    const CXpParam &at = m_params[static_cast<std::size_t>(position) - 1];
    if (at.name == name) return &at;
  }
  return nullptr;
}

bool CXpParams::ReadValue(const char *name, int position, CSecretString &value,
                          bool *complete, ParamText *text) const {
  if (text != nullptr) *text = ParamText::kBytes;
  const CXpParam *param = Find(name, position);
  if (param == nullptr || !param->listed) return false;
  // An empty value and SQL NULL both have length 0; the null flag adds
  // nothing.
  if (param->actualLength == 0) return false;
  if (ExceedsValueLimit(param->type, param->actualLength)) {
    if (text != nullptr) *text = ParamText::kTooLong;
    return false;
  }
  BYTE type = 0;
  ULONG max_length = 0;
  ULONG actual_length = 0;
  WINBOOL is_null = 0;
  CSecretString data(param->actualLength, '\0');
  int fetched = srv_paraminfo(m_srvproc, param->position, &type, &max_length, &actual_length,
                              reinterpret_cast<BYTE *>(data.data()), &is_null);
  if (actual_length < data.size()) data.resize(actual_length);
  switch (ConvertParamValue(param->type, data)) {
    case ValueConversion::kDone:
      break;
    case ValueConversion::kInvalidUtf16:
      if (text != nullptr) *text = ParamText::kInvalidUtf16;
      return false;
    case ValueConversion::kTooLong:
      if (text != nullptr) *text = ParamText::kTooLong;
      return false;
  }
  if (text != nullptr && IsUnicodeType(param->type)) *text = ParamText::kUtf8;
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
