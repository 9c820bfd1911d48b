#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Locks whose rules the compiler checks. Under clang with -Wthread-safety the attributes
// below let it prove that a field marked GUARDED_BY(lock) is only touched with that lock
// held and that locks are taken in their documented order (ACQUIRED_BEFORE/AFTER); other
// compilers see plain mutexes.
//
//   TCriticalSection fCSQueue;
//   std::deque<TJob> fQueue GUARDED_BY(fCSQueue);
//   void push(TJob aJob) EXCLUDES(fCSQueue) { TScopedLock lock(fCSQueue); fQueue.push_back(aJob); }
//
// A condition variable waits with a TUniqueLock; write the wait as a loop over the
// condition, so the analysis sees the guarded reads under the lock.
#if defined(__clang__)
#define PARLINO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PARLINO_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) PARLINO_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY PARLINO_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) PARLINO_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) PARLINO_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) PARLINO_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) PARLINO_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) PARLINO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) PARLINO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) PARLINO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) PARLINO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) PARLINO_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) PARLINO_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) PARLINO_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS PARLINO_THREAD_ANNOTATION(no_thread_safety_analysis)

// A plain, non-re-entrant lock.
class CAPABILITY("mutex") TCriticalSection {
public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void lock() ACQUIRE() { fMutex.lock(); }
  void unlock() RELEASE() { fMutex.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return fMutex.try_lock(); }

private:
  friend class TUniqueLock;
  std::mutex fMutex;
};

// A lock the holding thread may take again (the database lock: connect calls disconnect
// under it).
class CAPABILITY("mutex") TRecursiveCriticalSection {
public:
  TRecursiveCriticalSection() = default;
  TRecursiveCriticalSection(const TRecursiveCriticalSection&) = delete;
  TRecursiveCriticalSection& operator=(const TRecursiveCriticalSection&) = delete;

  void lock() ACQUIRE() { fMutex.lock(); }
  void unlock() RELEASE() { fMutex.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return fMutex.try_lock(); }

private:
  std::recursive_mutex fMutex;
};

// Holds a lock for one scope.
template <class TLockable>
class SCOPED_CAPABILITY TScopedLock {
public:
  explicit TScopedLock(TLockable& aLock) ACQUIRE(aLock) : fLock(aLock) { fLock.lock(); }
  ~TScopedLock() RELEASE() { fLock.unlock(); }
  TScopedLock(const TScopedLock&) = delete;
  TScopedLock& operator=(const TScopedLock&) = delete;

private:
  TLockable& fLock;
};

template <class TLockable>
TScopedLock(TLockable&) -> TScopedLock<TLockable>;

// Holds a TCriticalSection for one scope, may let it go and take it again, and is what a
// TConditionVariable waits with.
class SCOPED_CAPABILITY TUniqueLock {
public:
  explicit TUniqueLock(TCriticalSection& aLock) ACQUIRE(aLock) : fLock(aLock.fMutex) {}
  ~TUniqueLock() RELEASE() = default;
  TUniqueLock(const TUniqueLock&) = delete;
  TUniqueLock& operator=(const TUniqueLock&) = delete;

  void lock() ACQUIRE() { fLock.lock(); }
  void unlock() RELEASE() { fLock.unlock(); }

private:
  friend class TConditionVariable;
  std::unique_lock<std::mutex> fLock;
};

// A condition variable over TCriticalSection. Waits may wake spuriously: callers loop over
// their condition.
class TConditionVariable {
public:
  void notifyOne() { fCondition.notify_one(); }
  void notifyAll() { fCondition.notify_all(); }

  void wait(TUniqueLock& aLock) { fCondition.wait(aLock.fLock); }
  // False when the time ran out.
  template <class TRep, class TPeriod>
  bool waitFor(TUniqueLock& aLock, std::chrono::duration<TRep, TPeriod> aTimeout) {
    return fCondition.wait_for(aLock.fLock, aTimeout) == std::cv_status::no_timeout;
  }
  template <class TClock, class TDuration>
  bool waitUntil(TUniqueLock& aLock, std::chrono::time_point<TClock, TDuration> aDeadline) {
    return fCondition.wait_until(aLock.fLock, aDeadline) == std::cv_status::no_timeout;
  }

private:
  std::condition_variable fCondition;
};
