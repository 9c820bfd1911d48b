#include "webframework/WebWorkerPool.h"

#include "logging/KvLogger.h"

TWebWorkerPool::TWebWorkerPool(int aCount, TWork aWork) : fWork(std::move(aWork)) {
  fThreads.reserve(static_cast<std::size_t>(aCount));
  for (int i = 0; i < aCount; ++i) {
    fThreads.emplace_back([this] { run(); });
  }
}

TWebWorkerPool::~TWebWorkerPool() {
  shutdown();
}

std::unique_ptr<TWebConnection>
TWebWorkerPool::enqueue(std::unique_ptr<TWebConnection> aConnection) {
  {
    TScopedLock lock(fCSQueue);
    if (fShutdown) {
      return aConnection;
    }
    fQueue.push_back(std::move(aConnection));
  }
  fQueueChanged.notifyOne();
  return nullptr;
}

void TWebWorkerPool::shutdown() {
  {
    TScopedLock lock(fCSQueue);
    fShutdown = true;
  }
  fQueueChanged.notifyAll();
  for (std::thread& thread : fThreads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
}

int TWebWorkerPool::getBusyCount() const {
  TScopedLock lock(fCSQueue);
  return fActive + static_cast<int>(fQueue.size());
}

void TWebWorkerPool::run() {
  for (;;) {
    std::unique_ptr<TWebConnection> connection;
    {
      TUniqueLock lock(fCSQueue);
      while (!fShutdown && fQueue.empty()) {
        fQueueChanged.wait(lock);
      }
      if (fQueue.empty()) {
        return; // shut down and nothing left to serve
      }
      connection = std::move(fQueue.front());
      fQueue.pop_front();
      ++fActive;
    }
    try {
      fWork(std::move(connection));
    } catch (const std::exception& e) {
      Logger().error("webframework", std::string("worker: ") + e.what());
    } catch (...) {
      Logger().error("webframework", "worker: unknown error");
    }
    TScopedLock lock(fCSQueue);
    --fActive;
  }
}
