// Windows: LoadLibraryExW and GetProcAddress; the executable's path from
// GetModuleFileNameW; the version from the loaded DLL's file and its
// version resource (GetFileVersionInfoW).
#include "host/xpexec/library_loader.h"

#include <windows.h>
// After windows.h, which leaves it out for WIN32_LEAN_AND_MEAN.
#include <winver.h>

#include <vector>

#include "host/xpexec/wide_text.h"

namespace xpexec {

namespace {

constexpr const wchar_t *kLibraryFileName = L"mailvane.dll";
// Room for a long path (\\?\ form) and its terminator.
constexpr DWORD kMaxPathCharacters = 32768;

std::string SystemMessage(DWORD code) {
  wchar_t *text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string message;
  if (n > 0 && text != nullptr) {
    message = WideToUtf8(std::wstring_view(text, n));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
      message.pop_back();
  }
  if (text != nullptr) LocalFree(text);
  return message + " (error " + std::to_string(code) + ")";
}

}  // namespace

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool LoadedLibrary::Open(const std::string &path, std::string *error) {
  std::wstring wide = Utf8ToWide(path);
  // The full path lets the loader look for the library's own imports
  // (opends60.dll) in the library's folder first, as SQL Server's does.
  std::vector<wchar_t> full(kMaxPathCharacters);
  DWORD n = GetFullPathNameW(wide.c_str(), kMaxPathCharacters, full.data(), nullptr);
  if (n > 0 && n < kMaxPathCharacters) wide.assign(full.data(), n);
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    *error = SystemMessage(GetLastError());
    return false;
  }
  handle_ = module;
  return true;
}

void *LoadedLibrary::Find(const char *name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string LoadedLibrary::Version() const {
  if (handle_ == nullptr) return std::string();
  std::vector<wchar_t> path(kMaxPathCharacters);
  DWORD n = GetModuleFileNameW(static_cast<HMODULE>(handle_), path.data(), kMaxPathCharacters);
  if (n == 0 || n >= kMaxPathCharacters) return std::string();
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeW(path.data(), &unused);
  if (size == 0) return std::string();
  std::vector<unsigned char> info(size);
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path.data(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed || fixed->dwSignature != VS_FFI_SIGNATURE)
    return std::string();
  // The project's three numbers; a fourth only where a DLL has one.
  std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS));
  if (LOWORD(fixed->dwFileVersionLS) != 0)
    version += "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
  return version;
}

std::string DefaultLibraryPath() {
  std::vector<wchar_t> buffer(kMaxPathCharacters);
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), kMaxPathCharacters);
  if (n == 0 || n >= kMaxPathCharacters) return std::string();
  std::wstring exe(buffer.data(), n);
  size_t slash = exe.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::string();
  return WideToUtf8(exe.substr(0, slash + 1) + kLibraryFileName);
}

}  // namespace xpexec
