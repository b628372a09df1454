#include "proc/full_path.h"

#include <windows.h>

#include <string_view>

#include "charset/system_name.h"
#include "charset/utf8.h"

namespace {

constexpr char kUncPrefix[] = "\\\\?\\UNC\\";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The handle opened only to ask for its path; closed however the scope
// ends.
class CHandle {
 public:
  explicit CHandle(HANDLE handle) : m_handle(handle) {}
  ~CHandle() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  CHandle(const CHandle &) = delete;
  CHandle &operator=(const CHandle &) = delete;
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

}  // namespace

bool FullPath(const std::string &name, TextSource source, std::string &full, int &error) {
  std::u16string wide;
  if (!WideName(name.c_str(), source, wide)) {
    error = ERROR_INVALID_NAME;
    return false;
  }
  // No access is asked: the handle only answers where it is. Backup
  // semantics open a folder as well.
  CHandle handle(CreateFileW(reinterpret_cast<const wchar_t *>(wide.c_str()), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.Get() == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    DWORD length = GetFinalPathNameByHandleW(handle.Get(), reinterpret_cast<wchar_t *>(path.data()),
                                             static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    if (length == 0) {
      error = static_cast<int>(GetLastError());
      return false;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length + 1);
  }
  full.clear();
  AppendUtf8(full, path.data(), path.size());
  error = 0;
  return true;
}

bool PathWithin(const std::string &full, const std::string &folder) {
  std::u16string path, base;
  if (!Utf16FromUtf8(full.data(), full.size(), path) ||
      !Utf16FromUtf8(folder.data(), folder.size(), base) || path.size() < base.size())
    return false;
  if (CompareStringOrdinal(reinterpret_cast<const wchar_t *>(path.data()),
                           static_cast<int>(base.size()),
                           reinterpret_cast<const wchar_t *>(base.data()),
                           static_cast<int>(base.size()), TRUE) != CSTR_EQUAL)
    return false;
  return path.size() == base.size() || path[base.size()] == u'\\' ||
         (!base.empty() && base.back() == u'\\');
}

// \\?\ and \\.\ among them: through \\?\UNC\ or \\?\GLOBALROOT a name
// reaches a share as well.
bool IsNetworkPath(const std::string &name) {
  return name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]);
}

bool FullPathOnShare(const std::string &full) {
  return full.compare(0, sizeof kUncPrefix - 1, kUncPrefix) == 0;
}

bool IsFullPathName(const std::string &name) {
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return true;
  return name.size() >= 3 && name[1] == ':' && IsSeparator(name[2]) &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}
