// CWinsockInit: the process-wide start of the socket library.
//
// One object exists per process (TheWinsockInit); it starts the sockets
// when the library is loaded and again, if that failed, at every Connect,
// and stops them when the library is unloaded. Its started flag is the only
// state that the procedure's calls share; a mutex guards it because several
// SQL Server threads may connect at once. On POSIX there is nothing to
// start and Startup always succeeds.
#ifndef MAILVANE_SMTP_WINSOCK_INIT_H
#define MAILVANE_SMTP_WINSOCK_INIT_H

#include <mutex>

class CWinsockInit {
 public:
  CWinsockInit();
  ~CWinsockInit();
  CWinsockInit(const CWinsockInit &) = delete;
  CWinsockInit &operator=(const CWinsockInit &) = delete;

  // True when the sockets are started (now or earlier). On failure *error
  // (when given) gets the platform's code and the flag stays clear.
  bool Startup(int *error = nullptr);

 private:
  std::mutex m_lock;
  bool m_started = false;
};

// The one object of the process.
CWinsockInit &TheWinsockInit();

#endif
