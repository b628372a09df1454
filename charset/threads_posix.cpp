// POSIX: the C++ library's mutex, condition variable and thread, built in
// the room the header gives them. A one-time initialisation is a mutex and
// a flag, since std::call_once cannot tell a failed run from a done one
// without an exception. A thread nobody joins is joined here, once it has
// ended, or when the library is unloaded.
#include "charset/threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <list>
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

// The threads of StartDetachedThread: each is kept until it has ended and
// joined then, at the next start or when the library is unloaded (this
// object's destructor), so that no thread still runs the library's code
// once it is gone. A thread that ended stays unjoined only until the next
// start.
class CDetachedThreads {
 public:
  CDetachedThreads() = default;
  ~CDetachedThreads() {
    std::lock_guard<std::mutex> hold(m_lock);
    for (CDetached &detached : m_threads) detached.thread.join();
  }
  CDetachedThreads(const CDetachedThreads &) = delete;
  CDetachedThreads &operator=(const CDetachedThreads &) = delete;

  bool Start(std::function<void()> body) {
    std::lock_guard<std::mutex> hold(m_lock);
    JoinEnded();
    try {
      m_threads.emplace_back();
      CDetached &detached = m_threads.back();
      detached.thread = std::thread([&detached, work = std::move(body)] {
        work();
        detached.ended.store(true, std::memory_order_release);
      });
      return true;
    } catch (const std::exception &) {
      if (!m_threads.empty() && !m_threads.back().thread.joinable()) m_threads.pop_back();
      return false;
    }
  }

 private:
  struct CDetached {
    std::thread thread;
    std::atomic<bool> ended{false};
  };

  void JoinEnded() {
    for (auto i = m_threads.begin(); i != m_threads.end();) {
      if (!i->ended.load(std::memory_order_acquire)) {
        ++i;
        continue;
      }
      i->thread.join();
      i = m_threads.erase(i);
    }
  }

  std::mutex m_lock;
  std::list<CDetached> m_threads;
};

CDetachedThreads g_detached;

}  // namespace

bool StartDetachedThread(std::function<void()> body) { return g_detached.Start(std::move(body)); }

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
