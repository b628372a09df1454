// POSIX: the C++ library's mutex, condition variable and thread, built in
// the room the header gives them. A one-time initialisation is a mutex and
// a flag, since std::call_once cannot tell a failed run from a done one
// without an exception.
#include "charset/threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace {

struct COnceState {
  std::mutex lock;
  std::atomic<bool> done{false};
};

static_assert(sizeof(std::mutex) <= kThreadObjectSize &&
                  sizeof(std::condition_variable) <= kThreadObjectSize &&
                  sizeof(COnceState) <= kThreadObjectSize && sizeof(std::thread) <= kThreadObjectSize,
              "the platform's objects must fit their room");

std::mutex &MutexOf(unsigned char *object) {
  return *std::launder(reinterpret_cast<std::mutex *>(object));
}
std::condition_variable &ConditionOf(unsigned char *object) {
  return *std::launder(reinterpret_cast<std::condition_variable *>(object));
}
COnceState &OnceOf(unsigned char *object) {
  return *std::launder(reinterpret_cast<COnceState *>(object));
}
std::thread &ThreadOf(unsigned char *object) {
  return *std::launder(reinterpret_cast<std::thread *>(object));
}

}  // namespace

CLock::CLock() { new (m_object) std::mutex(); }
CLock::~CLock() { MutexOf(m_object).~mutex(); }
void CLock::Lock() { MutexOf(m_object).lock(); }
void CLock::Unlock() { MutexOf(m_object).unlock(); }

CCondition::CCondition() { new (m_object) std::condition_variable(); }
CCondition::~CCondition() { ConditionOf(m_object).~condition_variable(); }

bool CCondition::Wait(CLockHold &hold, int timeoutMs) {
  // The hold keeps the lock: the wait borrows it and gives it back.
  std::unique_lock<std::mutex> borrowed(MutexOf(hold.m_lock.m_object), std::adopt_lock);
  std::cv_status status = ConditionOf(m_object).wait_for(
      borrowed, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0));
  borrowed.release();
  return status == std::cv_status::no_timeout;
}

void CCondition::WakeAll() { ConditionOf(m_object).notify_all(); }

CRunOnce::CRunOnce() { new (m_object) COnceState(); }
CRunOnce::~CRunOnce() { OnceOf(m_object).~COnceState(); }

bool CRunOnce::Run(bool (*init)(void *context), void *context) {
  COnceState &state = OnceOf(m_object);
  if (state.done.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> hold(state.lock);
  if (!state.done.load(std::memory_order_relaxed) && init(context))
    state.done.store(true, std::memory_order_release);
  return state.done.load(std::memory_order_relaxed);
}

CThread::CThread() = default;

bool CThread::Start(std::function<void()> body) {
  if (m_started) return false;
  try {
    new (m_object) std::thread(std::move(body));
  } catch (const std::system_error &) {
    return false;
  }
  m_started = true;
  return true;
}

void CThread::Join() {
  if (!m_started) return;
  std::thread &thread = ThreadOf(m_object);
  thread.join();
  thread.~thread();
  m_started = false;
}

void SleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
