#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A TCP forwarder on 127.0.0.1 between a program and a server, to cut the line between them
// at will: cut() ends every connection at once and refuses new ones (they are reset as soon
// as they are accepted), restore() lets them through again. Stands in for a database server
// that goes away and comes back without stopping a server others use. Not part of the
// product.
namespace testsupport {

class TTcpForwarder {
public:
  // Listens on a free loopback port and forwards to aHost:aPort.
  TTcpForwarder(std::string aHost, int aPort);
  ~TTcpForwarder();
  TTcpForwarder(const TTcpForwarder&) = delete;
  TTcpForwarder& operator=(const TTcpForwarder&) = delete;

  int port() const { return fPort; }
  void cut();
  void restore();
  // Connections forwarded since the start.
  int connectionCount() const;

private:
  struct TPair;
  void acceptLoop();
  void pump(std::shared_ptr<TPair> aPair);
  void joinFinished();

  std::string fHost;
  int fTargetPort;
  int fListen = -1;
  int fPort = 0;
  int fWake[2] = {-1, -1};
  mutable std::mutex fLock;
  bool fRefusing = false;
  bool fStopping = false;
  int fConnections = 0;
  std::vector<std::shared_ptr<TPair>> fPairs;
  std::vector<std::thread> fPumps;
  std::thread fAcceptor;
};

} // namespace testsupport
