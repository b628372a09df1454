// Windows: slim reader/writer locks in exclusive mode, condition variables,
// one-time initialisation and CreateThread. None of the first three holds
// a kernel object: nothing to close, nothing to fail after construction.
// A thread nobody joins holds a reference on the module whose code it runs
// and drops it as it ends, with FreeLibraryAndExitThread: the module is
// not unloaded under it, and the last reference may be dropped by the
// thread itself without returning into code that is gone.
#include "charset/threads.h"

#include <windows.h>

#include <new>
#include <utility>

namespace {

static_assert(sizeof(SRWLOCK) <= kThreadObjectSize && sizeof(CONDITION_VARIABLE) <= kThreadObjectSize &&
                  sizeof(INIT_ONCE) <= kThreadObjectSize && sizeof(HANDLE) <= kThreadObjectSize,
              "the platform's objects must fit their room");

SRWLOCK *LockOf(unsigned char *object) { return reinterpret_cast<SRWLOCK *>(object); }
CONDITION_VARIABLE *ConditionOf(unsigned char *object) {
  return reinterpret_cast<CONDITION_VARIABLE *>(object);
}
INIT_ONCE *OnceOf(unsigned char *object) { return reinterpret_cast<INIT_ONCE *>(object); }
HANDLE *HandleOf(unsigned char *object) { return reinterpret_cast<HANDLE *>(object); }

struct COnceCall {
  bool (*init)(void *);
  void *context;
};

BOOL CALLBACK RunOnceCall(INIT_ONCE *, void *parameter, void **) {
  const COnceCall *call = static_cast<const COnceCall *>(parameter);
  return call->init(call->context) ? TRUE : FALSE;
}

DWORD WINAPI RunThreadBody(void *parameter) {
  std::function<void()> *body = static_cast<std::function<void()> *>(parameter);
  (*body)();
  delete body;
  return 0;
}

struct CDetachedStart {
  std::function<void()> body;
  HMODULE module;
};

DWORD WINAPI RunDetachedBody(void *parameter) {
  CDetachedStart *start = static_cast<CDetachedStart *>(parameter);
  HMODULE module = start->module;
  start->body();
  delete start;
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunDetachedBody), &module))
    return false;
  auto *start = new (std::nothrow) CDetachedStart{std::move(body), module};
  if (start == nullptr) {
    FreeLibrary(module);
    return false;
  }
  HANDLE thread = CreateThread(nullptr, 0, RunDetachedBody, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    FreeLibrary(module);
    return false;
  }
  CloseHandle(thread);
  return true;
}

CLock::CLock() { InitializeSRWLock(LockOf(m_object)); }
CLock::~CLock() = default;
void CLock::Lock() { AcquireSRWLockExclusive(LockOf(m_object)); }
void CLock::Unlock() { ReleaseSRWLockExclusive(LockOf(m_object)); }

CCondition::CCondition() { InitializeConditionVariable(ConditionOf(m_object)); }
CCondition::~CCondition() = default;

bool CCondition::Wait(CLockHold &hold, int timeoutMs) {
  DWORD limit = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
  return SleepConditionVariableSRW(ConditionOf(m_object), LockOf(hold.m_lock.m_object), limit, 0) !=
         FALSE;
}

void CCondition::WakeAll() { WakeAllConditionVariable(ConditionOf(m_object)); }

CRunOnce::CRunOnce() { InitOnceInitialize(OnceOf(m_object)); }
CRunOnce::~CRunOnce() = default;

bool CRunOnce::Run(bool (*init)(void *context), void *context) {
  COnceCall call = {init, context};
  return InitOnceExecuteOnce(OnceOf(m_object), RunOnceCall, &call, nullptr) != FALSE;
}

CThread::CThread() { *HandleOf(m_object) = nullptr; }

bool CThread::Start(std::function<void()> body) {
  if (m_started) return false;
  auto *moved = new (std::nothrow) std::function<void()>(std::move(body));
  if (moved == nullptr) return false;
  HANDLE thread = CreateThread(nullptr, 0, RunThreadBody, moved, 0, nullptr);
  if (thread == nullptr) {
    delete moved;
    return false;
  }
  *HandleOf(m_object) = thread;
  m_started = true;
  return true;
}

void CThread::Join() {
  if (!m_started) return;
  HANDLE thread = *HandleOf(m_object);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  *HandleOf(m_object) = nullptr;
  m_started = false;
}

void SleepMilliseconds(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }
