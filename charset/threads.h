// Locks, conditions, one-time initialisation, threads and sleeps: the
// platform's own, for the few places that need them (the process-wide
// state of the library, the test servers, xpexec's threads).
//
// On Windows they are SRWLOCK, CONDITION_VARIABLE, InitOnceExecuteOnce and
// CreateThread, which need no handle for a lock, never fail once
// constructed and leave nothing behind when the library is unloaded; the
// C++ library's std::mutex and std::thread are not used there (the DLL is
// built without the threads runtime that they need, see proc/entry_scope.h).
// Elsewhere they are std::mutex, std::condition_variable and std::thread.
// Lives at the bottom of the dependencies (charset/), so every folder may
// use it.
//
// A lock is not recursive. Objects of these classes are namespace-scope
// globals or members, never function-local statics: the guard of such a
// static would take the C++ runtime's own lock. None is copied or moved.
#ifndef MAILVANE_CHARSET_THREADS_H
#define MAILVANE_CHARSET_THREADS_H

#include <cstddef>
#include <functional>

// Room for the platform's object in each class below: a pointer on
// Windows; at most 48 bytes for the C++ library's objects on the systems
// built for (each platform file checks its own).
inline constexpr std::size_t kThreadObjectSize = 64;

class CLock {
 public:
  CLock();
  ~CLock();
  CLock(const CLock &) = delete;
  CLock &operator=(const CLock &) = delete;

  void Lock();
  void Unlock();

 private:
  friend class CCondition;
  alignas(std::max_align_t) unsigned char m_object[kThreadObjectSize];
};

// Holds a lock from its construction to the end of its scope.
class CLockHold {
 public:
  explicit CLockHold(CLock &lock) : m_lock(lock) { m_lock.Lock(); }
  ~CLockHold() { m_lock.Unlock(); }
  CLockHold(const CLockHold &) = delete;
  CLockHold &operator=(const CLockHold &) = delete;

 private:
  friend class CCondition;
  CLock &m_lock;
};

class CCondition {
 public:
  CCondition();
  ~CCondition();
  CCondition(const CCondition &) = delete;
  CCondition &operator=(const CCondition &) = delete;

  // Releases the held lock and waits until woken or until timeoutMs have
  // passed, then takes the lock again; false after the time-out. A wait
  // may also end without a cause: the caller checks its state in a loop.
  bool Wait(CLockHold &hold, int timeoutMs);
  void WakeAll();

 private:
  alignas(std::max_align_t) unsigned char m_object[kThreadObjectSize];
};

// Runs an initialisation once for all threads: the first caller runs it,
// the others wait for it. An initialisation that fails (returns false) is
// run again by the next caller.
class CRunOnce {
 public:
  CRunOnce();
  ~CRunOnce();
  CRunOnce(const CRunOnce &) = delete;
  CRunOnce &operator=(const CRunOnce &) = delete;

  // True once init(context) has returned true, here or before.
  bool Run(bool (*init)(void *context), void *context);

 private:
  alignas(std::max_align_t) unsigned char m_object[kThreadObjectSize];
};

// One thread, joined by Join or by the destructor.
class CThread {
 public:
  CThread();
  ~CThread() { Join(); }
  CThread(const CThread &) = delete;
  CThread &operator=(const CThread &) = delete;

  // Runs body on a new thread; false, and nothing runs, when the system
  // gives no thread (or one has been started already). Nothing may leave
  // body: an exception would end the process.
  bool Start(std::function<void()> body);
  // Waits for the thread to end, when one was started.
  void Join();

 private:
  alignas(std::max_align_t) unsigned char m_object[kThreadObjectSize];
  bool m_started = false;
};

// A signal one thread raises once and another waits for.
class CSignal {
 public:
  CSignal() = default;
  CSignal(const CSignal &) = delete;
  CSignal &operator=(const CSignal &) = delete;

  void Raise() {
    CLockHold hold(m_lock);
    m_set = true;
    m_raised.WakeAll();
  }
  // True once raised; waits at most timeoutMs for it (and may return
  // earlier without it: the caller waits in a loop).
  bool Wait(int timeoutMs) {
    CLockHold hold(m_lock);
    if (!m_set) m_raised.Wait(hold, timeoutMs);
    return m_set;
  }

 private:
  CLock m_lock;
  CCondition m_raised;
  bool m_set = false;
};

// Runs body on a thread that nobody joins: its starter may stop waiting
// for it and go (a call cancelled while the thread is blocked in the
// system). What body uses must be its own, shared with the starter by
// reference count, never the starter's stack. The library's code stays
// loaded while such a thread runs: on Windows the thread holds a
// reference on the module and drops it as it ends (FreeLibraryAndExitThread);
// elsewhere unloading the library waits for the threads to end. False,
// and nothing runs, when the system gives no thread. Nothing may leave
// body; on Windows it must throw nothing at all (the thread has no call's
// exception state, proc/entry_scope.h).
bool StartDetachedThread(std::function<void()> body);

// Lets the calling thread sleep for about ms milliseconds.
void SleepMilliseconds(int ms);

#endif
