#pragma once

#include "platform/TcpClient.h"

#include <string>

// A listening TCP socket. Nothing here throws; failures carry errno. Used by one thread at a
// time (the accepting one); close() from the owner after that thread has ended.
namespace platform {

class TTcpServer {
public:
  TTcpServer() = default;
  ~TTcpServer();
  TTcpServer(const TTcpServer&) = delete;
  TTcpServer& operator=(const TTcpServer&) = delete;

  // Binds aAddress (a numeric address, "127.0.0.1" or "::1"; "" for every address) and aPort
  // (0 for a free one) and listens.
  TNetResult listen(const std::string& aAddress, int aPort, int aBacklog = 16);
  // The bound port, also when 0 was asked for; 0 while not listening.
  int port() const { return fPort; }
  bool isListening() const { return fSocket >= 0; }
  // Waits at most aTimeoutMs for the next connection; ETIMEDOUT when none came.
  TNetResult accept(TTcpClient& aClient, int aTimeoutMs);
  void close();

private:
  int fSocket = -1;
  int fPort = 0;
};

} // namespace platform
