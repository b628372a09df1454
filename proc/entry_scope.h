// CEntryScope: what one call of an exported function holds of the C++
// runtime's exception state, on its own stack, for the length of the call.
//
// The Windows DLL keeps no exception state of its own beyond a call: no
// per-thread block that outlives it, no TLS slot per thread, no heap. The
// runtime would keep a thread's caught exceptions in emulated TLS (emutls,
// which calls abort() when its allocation fails and never frees its slot
// when the library is unloaded) and take the memory of a thrown object
// from the heap, then from one process-wide pool that ends the process
// with std::terminate when it runs out. So the DLL gives the runtime its
// own (entry_scope_win32.cpp): __cxa_get_globals finds the scope of the
// running call through one TLS index that the DLL allocates when it is
// loaded (the load fails cleanly when there is none) and frees when it is
// unloaded, and a thrown object takes a block of the call's reserve, the
// heap only when the reserve has none left. A call holds at most two
// exceptions at once (one being thrown and a std::bad_alloc from building
// it): every handler of the library returns or reports without throwing,
// and no destructor throws.
//
// Each exported function that may throw places a scope first, and throws
// nothing when the scope is not Ready (the thread's TLS could not take it);
// a scope placed inside another (a nested call) restores the outer one when
// it ends. Elsewhere (the Linux library) the C++ runtime's own state serves
// and a scope only reports Ready.
#ifndef MAILVANE_PROC_ENTRY_SCOPE_H
#define MAILVANE_PROC_ENTRY_SCOPE_H

#include <cstddef>

#include "proc/exception_abi.h"

// Room for thrown objects: a block holds one, with the runtime's record in
// front of it and a word that tells which block it took.
inline constexpr std::size_t kReserveBlocks = 4;
inline constexpr std::size_t kReserveBlockSize = 512;

class CEntryScope {
 public:
  CEntryScope();
  ~CEntryScope();
  CEntryScope(const CEntryScope &) = delete;
  CEntryScope &operator=(const CEntryScope &) = delete;

  // The call may throw: the runtime finds this scope's state.
  bool Ready() const { return m_ready; }

  // For the platform file: the runtime's state of this call.
  CEhGlobals &Globals() { return m_globals; }
  // A free block of the reserve for size bytes, marked used; null when
  // none is free or size is too large.
  unsigned char *TakeBlock(std::size_t size, bool **used);

 private:
  [[maybe_unused]] CEhGlobals m_globals = {};
  [[maybe_unused]] alignas(16) unsigned char m_blocks[kReserveBlocks][kReserveBlockSize];
  [[maybe_unused]] bool m_used[kReserveBlocks] = {};
  [[maybe_unused]] CEntryScope *m_outer = nullptr;
  bool m_ready = false;
};

#endif
