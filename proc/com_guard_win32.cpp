#include "proc/com_guard.h"

#include <objbase.h>

CComGuard::CComGuard() {
  // S_FALSE (the thread is in the multithreaded apartment already) is
  // balanced by CoUninitialize too; RPC_E_CHANGED_MODE (the thread lives in
  // a single-threaded apartment) is not: the thread's COM is not ours.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  m_initialized = SUCCEEDED(hr);
}

CComGuard::~CComGuard() {
  if (m_initialized) CoUninitialize();
}
