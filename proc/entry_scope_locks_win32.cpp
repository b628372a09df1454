// The locks of the C++ runtime inside the DLL, over slim reader/writer
// locks (see entry_scope.h).
//
// The runtime linked into the DLL takes its locks (the guard of a
// function-local static, the locale's, on x86 the unwinder's registry of
// frame tables) through libgcc's gthr-win32.o, which makes each one of a
// semaphore: a kernel handle per lock and per load, never closed for the
// static ones, and a lock that fails (so the runtime throws or runs on
// unlocked) when the semaphore could not be made. These definitions come
// first and keep gthr-win32.o out: a lock is an SRWLOCK in the semaphore's
// place (zero, as the runtime's static initialisers leave it, is an
// unlocked SRWLOCK), needs no handle and cannot fail. The per-thread keys
// of gthr-win32.o are deliberately not defined: nothing in the DLL may take
// a TLS slot per load, and a use would pull gthr-win32.o and fail the link
// on the duplicates below.
//
// Linked into the DLL only.
#define __GTHREAD_HIDE_WIN32API 1
#include <bits/gthr.h>

#include <windows.h>

#include <cerrno>

namespace {

static_assert(sizeof(void *) == sizeof(SRWLOCK), "an SRWLOCK takes the semaphore's place");

SRWLOCK *LockIn(void **sema) { return reinterpret_cast<SRWLOCK *>(sema); }

// The runtime's recursive mutex: its owner's thread id and depth beside the
// lock. Only the owner reads its own id there, so an unlocked read is safe.
bool OwnedByCaller(const __gthread_recursive_mutex_t *mutex) {
  return static_cast<DWORD>(mutex->owner) == GetCurrentThreadId();
}

}  // namespace

extern "C" {

int __gthr_win32_once(__gthread_once_t *once, void (*func)(void)) {
  if (once == nullptr || func == nullptr) return EINVAL;
  // As libgcc has it: the first caller runs func, the others yield until
  // it is done. Nothing to create, nothing that fails.
  volatile int *done = &once->done;
  if (*done) return 0;
  if (InterlockedIncrement(&once->started) == 0) {
    func();
    MemoryBarrier();
    *done = TRUE;
  } else {
    while (!*done) Sleep(0);
  }
  return 0;
}

void __gthr_win32_mutex_init_function(__gthread_mutex_t *mutex) {
  mutex->counter = -1;
  InitializeSRWLock(LockIn(&mutex->sema));
}

void __gthr_win32_mutex_destroy(__gthread_mutex_t *) {}

int __gthr_win32_mutex_lock(__gthread_mutex_t *mutex) {
  AcquireSRWLockExclusive(LockIn(&mutex->sema));
  return 0;
}

int __gthr_win32_mutex_trylock(__gthread_mutex_t *mutex) {
  return TryAcquireSRWLockExclusive(LockIn(&mutex->sema)) ? 0 : 1;
}

int __gthr_win32_mutex_unlock(__gthread_mutex_t *mutex) {
  ReleaseSRWLockExclusive(LockIn(&mutex->sema));
  return 0;
}

void __gthr_win32_recursive_mutex_init_function(__gthread_recursive_mutex_t *mutex) {
  mutex->counter = -1;
  mutex->depth = 0;
  mutex->owner = 0;
  InitializeSRWLock(LockIn(&mutex->sema));
}

int __gthr_win32_recursive_mutex_destroy(__gthread_recursive_mutex_t *) { return 0; }

int __gthr_win32_recursive_mutex_lock(__gthread_recursive_mutex_t *mutex) {
  if (!OwnedByCaller(mutex)) {
    AcquireSRWLockExclusive(LockIn(&mutex->sema));
    mutex->owner = GetCurrentThreadId();
  }
  ++mutex->depth;
  return 0;
}

int __gthr_win32_recursive_mutex_trylock(__gthread_recursive_mutex_t *mutex) {
  if (!OwnedByCaller(mutex)) {
    if (!TryAcquireSRWLockExclusive(LockIn(&mutex->sema))) return 1;
    mutex->owner = GetCurrentThreadId();
  }
  ++mutex->depth;
  return 0;
}

int __gthr_win32_recursive_mutex_unlock(__gthread_recursive_mutex_t *mutex) {
  if (--mutex->depth == 0) {
    mutex->owner = 0;
    ReleaseSRWLockExclusive(LockIn(&mutex->sema));
  }
  return 0;
}

}  // extern "C"
