// CComGuard: COM for the length of one procedure call, on the calling
// thread. The mail's multi-language service is a COM object on Windows;
// elsewhere there is nothing to do.
#ifndef MAILVANE_PROC_COM_GUARD_H
#define MAILVANE_PROC_COM_GUARD_H

class CComGuard {
 public:
  CComGuard();   // CoInitialize, single-threaded apartment
  ~CComGuard();  // CoUninitialize, when CoInitialize succeeded
  CComGuard(const CComGuard &) = delete;
  CComGuard &operator=(const CComGuard &) = delete;

 private:
  // Used by the Windows guard only; the POSIX one has nothing to undo.
  [[maybe_unused]] bool m_initialized = false;
};

#endif
