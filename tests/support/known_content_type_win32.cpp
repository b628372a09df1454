#include "tests/support/known_content_type.h"

#include <windows.h>

namespace {
constexpr char kKey[] = ".mailvanetest";
}

CKnownContentType::CKnownContentType()
    : m_extension(".mailvanetest"), m_type("application/x-mailvane-test") {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExA(key, "Content Type", 0, REG_SZ, reinterpret_cast<const BYTE *>(m_type.c_str()),
                   static_cast<DWORD>(m_type.size() + 1));
    RegCloseKey(key);
  }
}

CKnownContentType::~CKnownContentType() { RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey); }
