#include "mail/extension_type.h"

#include <windows.h>

#include <vector>

// The "Content Type" value of HKEY_CLASSES_ROOT\<extension>: 0 with the
// text in out, or the registry's error code.
int LookupExtensionType(const std::string &extension, std::string &out) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) return result;
  DWORD type = 0, size = 0;
  result = RegQueryValueExA(key, "Content Type", nullptr, &type, nullptr, &size);
  if (result == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
    result = ERROR_INVALID_DATA;
  std::vector<BYTE> data;
  if (result == ERROR_SUCCESS) {
    data.resize(size != 0 ? size : 1);
    result = RegQueryValueExA(key, "Content Type", nullptr, &type, data.data(), &size);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return result;
  // The value may have changed between the two queries; only a string with
  // its terminating zero is taken.
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || data[size - 1] != 0)
    return ERROR_INVALID_DATA;
  out.assign(reinterpret_cast<const char *>(data.data()));
  return ERROR_SUCCESS;
}

