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
    std::lock_guard<std::mutex> lock(fCSQueue);
    if (fShutdown) {
      return aConnection;
    }
    fQueue.push_back(std::move(aConnection));
  }
  fQueueChanged.notify_one();
  return nullptr;
}

void TWebWorkerPool::shutdown() {
  {
    std::lock_guard<std::mutex> lock(fCSQueue);
    fShutdown = true;
  }
  fQueueChanged.notify_all();
  for (std::thread& thread : fThreads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
}

int TWebWorkerPool::getBusyCount() const {
  std::lock_guard<std::mutex> lock(fCSQueue);
  return fActive + static_cast<int>(fQueue.size());
}

void TWebWorkerPool::run() {
  for (;;) {
    std::unique_ptr<TWebConnection> connection;
    {
      std::unique_lock<std::mutex> lock(fCSQueue);
      fQueueChanged.wait(lock, [this] { return fShutdown || !fQueue.empty(); });
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
    std::lock_guard<std::mutex> lock(fCSQueue);
    --fActive;
  }
}
