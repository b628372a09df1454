// CComGuard: COM for the length of one procedure call, on the calling
// thread. The mail's multi-language service is a COM object on Windows
// (registered for both apartments); elsewhere there is nothing to do.
//
// The thread joins the multithreaded apartment: a SQL Server worker pumps
// no messages, so it must not become a single-threaded apartment (nor the
// process's main one, on which other components' objects would then be
// created and hang). A thread that already lives in another apartment
// keeps it and is used as it is.
#ifndef MAILVANE_PROC_COM_GUARD_H
#define MAILVANE_PROC_COM_GUARD_H

class CComGuard {
 public:
  CComGuard();   // CoInitializeEx, multithreaded apartment
  ~CComGuard();  // CoUninitialize, when CoInitializeEx succeeded
  CComGuard(const CComGuard &) = delete;
  CComGuard &operator=(const CComGuard &) = delete;

 private:
  // Used by the Windows guard only; the POSIX one has nothing to undo.
  [[maybe_unused]] bool m_initialized = false;
};

#endif
