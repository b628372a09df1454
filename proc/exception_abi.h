// The records of GCC's C++ runtime (libsupc++) that an exception is made
// of, laid out as that runtime lays them out for the target built for: its
// unwind-cxx.h (GCC 12), which follows the Itanium C++ ABI (section 2.2)
// and adds members of its own. Not a header of the runtime: the DLL's own
// exception state (entry_scope_win32.cpp) must agree with these sizes, and
// a unit test checks them against the runtime the tests run on.
//
// Only these three records and their sizes are relied on: the runtime puts
// a CCxaRefcountedException right in front of every thrown object (zeroed
// when it is handed out) and a CCxaException-sized record in front of a
// dependent exception (std::rethrow_exception), and keeps the caught
// exceptions of a thread and its count of uncaught ones in a CEhGlobals.
// ARM's unwinder has more members; no target built for uses it.
#ifndef MAILVANE_PROC_EXCEPTION_ABI_H
#define MAILVANE_PROC_EXCEPTION_ABI_H

#include <unwind.h>

struct CCxaException {
  void *exceptionType;
  void (*exceptionDestructor)(void *);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  CCxaException *nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char *actionRecord;
  const unsigned char *languageSpecificData;
  _Unwind_Ptr catchTemp;
  void *adjustedPtr;
  _Unwind_Exception unwindHeader;  // aligned to the target's largest alignment
};

struct CCxaRefcountedException {
  int referenceCount;
  CCxaException exc;
};

// What __cxa_get_globals gives: the caught exceptions of the thread (the
// most recent first) and how many thrown ones are not caught yet.
struct CEhGlobals {
  CCxaException *caughtExceptions;
  unsigned int uncaughtExceptions;
};

#endif
