#include "mime/file_reader.h"

#include <windows.h>

#include <string>

#include "charset/system_name.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile takes a 32-bit count; larger requests are served in parts.
constexpr std::size_t kMaxReadSize = 0x40000000;

}  // namespace

bool CFileReader::Open(const char *path, TextSource source) {
  Close();
  if (path == nullptr) {
    m_error = ERROR_INVALID_PARAMETER;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::u16string name;
  if (!WideName(path, source, name)) {
    m_error = ERROR_INVALID_NAME;
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(name.c_str()), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_error = static_cast<std::int32_t>(GetLastError());
    return false;
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
  // A pipe or a character device (a console, a serial port) is no file to
  // attach: it may never end.
  if (GetFileType(file) != FILE_TYPE_DISK) return Refuse(ERROR_INVALID_PARAMETER);
  return true;
}

bool CFileReader::Refuse(std::int32_t error) {
  Close();
  m_error = error;
  SetLastError(static_cast<DWORD>(error));
  return false;
}

bool CFileReader::Read(void *buffer, std::size_t size, std::size_t *delivered) {
  *delivered = 0;
  if (AsHandle(m_handle) == INVALID_HANDLE_VALUE) {
    m_error = ERROR_INVALID_HANDLE;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD got = 0;
  DWORD ask = static_cast<DWORD>(size < kMaxReadSize ? size : kMaxReadSize);
  if (!ReadFile(AsHandle(m_handle), buffer, ask, &got, nullptr)) {
    DWORD error = GetLastError();
    // ERROR_MORE_DATA: the bytes delivered are good, the rest follows.
    if (error != ERROR_MORE_DATA) {
      m_error = static_cast<std::int32_t>(error);
      return false;
    }
  }
  *delivered = got;
  return true;
}

void CFileReader::Close() {
  if (AsHandle(m_handle) == INVALID_HANDLE_VALUE) return;
  DWORD saved = GetLastError();
  CloseHandle(AsHandle(m_handle));
  SetLastError(saved);
  m_handle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}
