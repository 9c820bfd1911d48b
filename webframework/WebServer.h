#pragma once

#include "webframework/WebApplicationRouter.h"
#include "webframework/WebRequestHead.h"

#include <chrono>
#include <memory>
#include <string>

constexpr int IC_WEBWORKERTHREADS = 32;
constexpr int IC_DEFAULTHTTPPORT = 8989;

struct TWebServerSettings {
  std::string Address = "0.0.0.0"; // a numeric address or host name; "" for every address
  int Port = IC_DEFAULTHTTPPORT;   // 0 picks a free port (see getPort)
  int WorkerCount = IC_WEBWORKERTHREADS;
  TWebLimits Limits;
  std::chrono::milliseconds KeepAliveTimeout{5000}; // idle connection between requests
  std::chrono::milliseconds RequestTimeout{10000};  // one request, from its first byte
  std::chrono::milliseconds WriteTimeout{10000};    // writing one answer
  int MaxConnections = 512;
  int MaxConnectionsPerAddress = 64; // of one client address (see TWebListener)
  int MaxRequestsPerConnection = 100;
  // How long a worker that has answered waits for the next request on the same connection
  // before it gives the connection back to the listener: a client that sends its next
  // request at once is served without two hand-overs between threads.
  std::chrono::microseconds WorkerLinger{1000};
};

struct [[nodiscard]] TWebStartResult {
  bool ok = true;
  int error = 0; // errno of the failure
  std::string message;
  explicit operator bool() const { return ok; }
};

// The framework's HTTP server: one listener thread that accepts connections and gathers each
// request whole, and a pool of worker threads that run complete requests through the router
// (framework pages, then the server core's hook) and write the answers. After an answer a
// worker keeps the connection for at most WorkerLinger in case the next request follows at
// once; an idle or slow connection is then the listener's again and holds no worker.
//
// Threads: start and stop from one controlling thread; the router's hooks are set before
// start and run on the workers, several at once. stop() returns once the requests being
// served are answered; it closes idle connections and ones whose request has not arrived.
class TWebServer {
public:
  explicit TWebServer(TWebServerSettings aSettings = {});
  ~TWebServer(); // stop()
  TWebServer(const TWebServer&) = delete;
  TWebServer& operator=(const TWebServer&) = delete;

  TWebApplicationRouter& getRouter() { return fRouter; }
  const TWebServerSettings& getSettings() const { return fSettings; }

  // Binds, listens and starts the threads. Fails when the address cannot be bound or the
  // server runs already.
  TWebStartResult start();
  void stop();
  bool isRunning() const;
  // The port listened on: the one asked for, or the one chosen for port 0.
  int getPort() const;
  // Connections open now, in all or of one client address; 0 when not running.
  int getOpenConnectionCount() const;
  int getOpenConnectionCount(const std::string& aAddress) const;

private:
  struct TRunning;

  TWebServerSettings fSettings;
  TWebApplicationRouter fRouter;
  std::unique_ptr<TRunning> fRunning;
};
