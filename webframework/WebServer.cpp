#include "webframework/WebServer.h"

#include "logging/KvLogger.h"
#include "webframework/WebListener.h"
#include "webframework/WebRequestProcessor.h"
#include "webframework/WebWorkerPool.h"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>

// What exists while the server runs. Destroyed in reverse order of the members: the pool
// (its workers may give connections back to the listener) goes before the listener.
struct TWebServer::TRunning {
  TRunning(const TWebServerSettings& aSettings, const TWebApplicationRouter& aRouter)
      : Settings(aSettings),
        Processor(aRouter, Stopping, aSettings.Limits, aSettings.KeepAliveTimeout,
                  aSettings.MaxRequestsPerConnection),
        Listener(listenerSettings(aSettings), [this](std::unique_ptr<TWebConnection> aConnection) {
          return Pool->enqueue(std::move(aConnection));
        }) {}

  static TWebListenerSettings listenerSettings(const TWebServerSettings& aSettings) {
    TWebListenerSettings settings;
    settings.Limits = aSettings.Limits;
    settings.KeepAliveTimeout = aSettings.KeepAliveTimeout;
    settings.RequestTimeout = aSettings.RequestTimeout;
    settings.MaxConnections = aSettings.MaxConnections;
    settings.MaxConnectionsPerAddress = aSettings.MaxConnectionsPerAddress;
    return settings;
  }

  void serve(std::unique_ptr<TWebConnection> aConnection) {
    for (;;) {
      ++aConnection->RequestCount;
      const bool closeAfter =
          Stopping || aConnection->RequestCount >= Settings.MaxRequestsPerConnection;
      const bool keep =
          Processor.serve(*aConnection, closeAfter, TWebClock::now() + Settings.RequestTimeout,
                          Settings.WriteTimeout);
      if (keep && !aConnection->HeldAnswer.empty()) {
        Listener.giveBack(std::move(aConnection)); // closed there when stopping
        return;
      }
      if (!keep || Stopping) {
        return; // closed with aConnection
      }
      if (!nextRequestArrived(*aConnection)) {
        Listener.giveBack(std::move(aConnection));
        return;
      }
    }
  }

  // Whether the connection's next request is there whole (its body included) within the
  // linger time; whatever arrived stays in its buffer for the listener otherwise.
  bool nextRequestArrived(TWebConnection& aConnection) const {
    if (aConnection.Buffer.empty()) {
      const auto linger =
          std::chrono::duration_cast<std::chrono::nanoseconds>(Settings.WorkerLinger);
      timespec wait{static_cast<time_t>(linger.count() / 1'000'000'000),
                    static_cast<long>(linger.count() % 1'000'000'000)};
      pollfd item{aConnection.Socket.get(), POLLIN, 0};
      if (linger.count() <= 0 || ::ppoll(&item, 1, &wait, nullptr) != 1 ||
          (item.revents & POLLIN) == 0) {
        return false;
      }
      char chunk[16 * 1024];
      const ssize_t n = ::recv(aConnection.Socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
      if (n <= 0) {
        return false; // the listener sees the close or the error again
      }
      aConnection.Buffer.append(chunk, static_cast<std::size_t>(n));
    }
    aConnection.Head = scanWebRequestHead(aConnection.Buffer, Settings.Limits);
    TWebChunkedProgress progress;
    int refusal = 0;
    return aConnection.Head.State == EWebHeadScan::Complete &&
           scanWebRequestBody(aConnection.Buffer, aConnection.Head, Settings.Limits, progress,
                              refusal) == EWebBodyScan::Complete;
  }

  TWebServerSettings Settings;
  std::atomic<bool> Stopping{false};
  TWebRequestProcessor Processor;
  TWebListener Listener;
  std::unique_ptr<TWebWorkerPool> Pool;
};

TWebServer::TWebServer(TWebServerSettings aSettings) : fSettings(std::move(aSettings)) {}

TWebServer::~TWebServer() {
  stop();
}

TWebStartResult TWebServer::start() {
  if (fRunning) {
    return {false, EALREADY, "the http server runs already"};
  }
  auto running = std::make_unique<TRunning>(fSettings, fRouter);
  const TWebListenResult listening = running->Listener.open(fSettings.Address, fSettings.Port);
  if (!listening) {
    Logger().error("webframework", listening.message);
    return {false, listening.error, listening.message};
  }
  TRunning* state = running.get();
  running->Pool = std::make_unique<TWebWorkerPool>(
      std::max(1, fSettings.WorkerCount), [state](std::unique_ptr<TWebConnection> aConnection) {
        state->serve(std::move(aConnection));
      });
  running->Listener.start();
  fRunning = std::move(running);
  Logger().info("webframework", "http server listening on " +
                                    (fSettings.Address.empty() ? "*" : fSettings.Address) + ":" +
                                    std::to_string(getPort()) + " with " +
                                    std::to_string(fRunning->Pool->getThreadCount()) +
                                    " worker threads");
  return {};
}

void TWebServer::stop() {
  if (!fRunning) {
    return;
  }
  fRunning->Stopping = true;
  // No new requests; then the ones taken are answered.
  fRunning->Listener.stop();
  fRunning->Pool->shutdown();
  fRunning.reset();
  Logger().info("webframework", "http server stopped");
}

bool TWebServer::isRunning() const {
  return fRunning != nullptr;
}

int TWebServer::getPort() const {
  return fRunning ? fRunning->Listener.getPort() : 0;
}

int TWebServer::getOpenConnectionCount() const {
  return fRunning ? fRunning->Listener.getOpenConnectionCount() : 0;
}

int TWebServer::getOpenConnectionCount(const std::string& aAddress) const {
  return fRunning ? fRunning->Listener.getOpenConnectionCount(aAddress) : 0;
}
