#include "proc/com_guard.h"

#include <objbase.h>

CComGuard::CComGuard() {
  // A thread that already lives in another apartment keeps it; then the
  // call is not balanced by CoUninitialize.
  HRESULT hr = CoInitialize(nullptr);
  m_initialized = SUCCEEDED(hr);
}

CComGuard::~CComGuard() {
  if (m_initialized) CoUninitialize();
}
