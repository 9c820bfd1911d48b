#pragma once

#include "platform/Locks.h"
#include "webframework/WebConnection.h"

#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// A fixed number of worker threads that serve connections whose request has arrived, one
// connection per worker at a time, in the order they were handed in.
// Lock: fCSQueue, a leaf (held only to move a connection in or out of the queue).
class TWebWorkerPool {
public:
  using TWork = std::function<void(std::unique_ptr<TWebConnection>)>;

  // Starts aCount threads that run aWork for each connection handed in.
  TWebWorkerPool(int aCount, TWork aWork);
  ~TWebWorkerPool(); // shutdown()
  TWebWorkerPool(const TWebWorkerPool&) = delete;
  TWebWorkerPool& operator=(const TWebWorkerPool&) = delete;

  // Queues a connection; after shutdown it is handed back instead (the caller closes it).
  std::unique_ptr<TWebConnection> enqueue(std::unique_ptr<TWebConnection> aConnection)
      EXCLUDES(fCSQueue);
  // Serves what is queued, then ends and joins every thread. Blocks until the requests in
  // progress are answered.
  void shutdown() EXCLUDES(fCSQueue);

  int getThreadCount() const { return static_cast<int>(fThreads.size()); }
  // Connections queued or being served.
  int getBusyCount() const EXCLUDES(fCSQueue);

private:
  void run() EXCLUDES(fCSQueue);

  TWork fWork;
  mutable TCriticalSection fCSQueue;
  TConditionVariable fQueueChanged;
  std::deque<std::unique_ptr<TWebConnection>> fQueue GUARDED_BY(fCSQueue);
  int fActive GUARDED_BY(fCSQueue) = 0;
  bool fShutdown GUARDED_BY(fCSQueue) = false;
  std::vector<std::thread> fThreads;
};
