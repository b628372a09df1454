// The DLL's exception state (entry_scope.h): DllMain's TLS index, the
// runtime's per-thread globals, and the memory of thrown objects.
//
// Defining __cxa_get_globals and __cxa_get_globals_fast here keeps the
// runtime's own (eh_globals.o, over emulated TLS) out of the DLL, and
// defining the four allocation functions keeps out eh_alloc.o with its
// process-wide emergency pool (a heap block and a semaphore per load, and
// std::terminate when it runs dry). The linker takes these because they
// come first; were the runtime's objects pulled for another symbol, the
// link would fail on the duplicates.
//
// This file is linked into the DLL only: test programs keep the runtime's
// own state.
#include "proc/entry_scope.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// The slot through which the runtime finds the scope of the thread's
// running call; TLS_OUT_OF_INDEXES outside the library's load.
DWORD g_scopeIndex = TLS_OUT_OF_INDEXES;

// The globals of a throw outside every call. The DLL makes none (loading
// and unloading throw nothing), so this only keeps such a throw working
// on one thread at a time rather than crashing.
CEhGlobals g_outsideCalls = {};

// In front of the runtime's record: the used-flag of the reserve block the
// memory came from, or null for the heap. Sixteen bytes, so the thrown
// object keeps the alignment of the block or of malloc.
struct alignas(16) CBlockTag {
  bool *used;
};

constexpr std::size_t kObjectOffset = sizeof(CBlockTag) + sizeof(CCxaRefcountedException);
constexpr std::size_t kDependentOffset = sizeof(CBlockTag);
static_assert(kObjectOffset % 16 == 0, "the thrown object stays aligned");

CEntryScope *RunningScope() {
  if (g_scopeIndex == TLS_OUT_OF_INDEXES) return nullptr;
  // The runtime asks during a throw: the thread's last error stays what the
  // failing call left.
  DWORD error = GetLastError();
  void *scope = TlsGetValue(g_scopeIndex);
  SetLastError(error);
  return static_cast<CEntryScope *>(scope);
}

// size bytes, of which the first header bytes zeroed, with the tag in
// front: from the running call's reserve, else from the heap. The runtime
// has no way to fail an allocation but std::terminate; with the reserve
// that is left for a broken bound (see entry_scope.h).
unsigned char *Allocate(std::size_t size, std::size_t header) {
  CEntryScope *scope = RunningScope();
  bool *used = nullptr;
  unsigned char *block = scope != nullptr ? scope->TakeBlock(size, &used) : nullptr;
  if (block == nullptr) block = static_cast<unsigned char *>(std::malloc(size));
  if (block == nullptr) std::terminate();
  std::memset(block, 0, header);
  reinterpret_cast<CBlockTag *>(block)->used = used;
  return block;
}

void Release(unsigned char *block) {
  bool *used = reinterpret_cast<CBlockTag *>(block)->used;
  if (used != nullptr)
    *used = false;
  else
    std::free(block);
}

}  // namespace

CEntryScope::CEntryScope() {
  if (g_scopeIndex == TLS_OUT_OF_INDEXES) return;
  DWORD error = GetLastError();
  m_outer = static_cast<CEntryScope *>(TlsGetValue(g_scopeIndex));
  // A slot beyond the first 64 takes memory the first time a thread sets
  // it, and may fail: the call then throws nothing.
  m_ready = TlsSetValue(g_scopeIndex, this) != FALSE;
  SetLastError(error);
}

CEntryScope::~CEntryScope() {
  if (m_ready) TlsSetValue(g_scopeIndex, m_outer);
}

unsigned char *CEntryScope::TakeBlock(std::size_t size, bool **used) {
  if (size > kReserveBlockSize) return nullptr;
  for (std::size_t i = 0; i < kReserveBlocks; ++i) {
    if (m_used[i]) continue;
    m_used[i] = true;
    *used = &m_used[i];
    return m_blocks[i];
  }
  return nullptr;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_scopeIndex = TlsAlloc();
      return g_scopeIndex != TLS_OUT_OF_INDEXES ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      if (g_scopeIndex != TLS_OUT_OF_INDEXES) TlsFree(g_scopeIndex);
      g_scopeIndex = TLS_OUT_OF_INDEXES;
      break;
    default:
      break;
  }
  return TRUE;
}

void *__cxa_get_globals() noexcept {
  CEntryScope *scope = RunningScope();
  return scope != nullptr ? &scope->Globals() : &g_outsideCalls;
}

void *__cxa_get_globals_fast() noexcept { return __cxa_get_globals(); }

void *__cxa_allocate_exception(std::size_t thrownSize) noexcept {
  return Allocate(kObjectOffset + thrownSize, kObjectOffset) + kObjectOffset;
}

void __cxa_free_exception(void *thrown) noexcept {
  Release(static_cast<unsigned char *>(thrown) - kObjectOffset);
}

void *__cxa_allocate_dependent_exception() noexcept {
  constexpr std::size_t kSize = kDependentOffset + sizeof(CCxaException);
  return Allocate(kSize, kSize) + kDependentOffset;
}

void __cxa_free_dependent_exception(void *dependent) noexcept {
  Release(static_cast<unsigned char *>(dependent) - kDependentOffset);
}

}  // extern "C"
