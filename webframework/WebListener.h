#pragma once

#include "platform/Locks.h"
#include "platform/StoppableThread.h"
#include "webframework/WebConnection.h"
#include "webframework/WebRequestHead.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TWebListenerSettings {
  TWebLimits Limits;
  std::chrono::milliseconds KeepAliveTimeout{5000}; // idle connection between requests
  std::chrono::milliseconds RequestTimeout{10000};  // a request from its first byte to its last
  std::chrono::milliseconds DrainTimeout{2000};     // reading what a refused client still sends
  int MaxConnections = 512;
  int MaxConnectionsPerAddress = 64; // of one client address
};

struct [[nodiscard]] TWebListenResult {
  bool ok = true;
  int error = 0; // errno of the failure
  std::string message;
  explicit operator bool() const { return ok; }
};

// Accepts connections and, on its one thread, waits for each connection's next request to
// arrive whole, its body included (chunked, or sent after the listener's "100 Continue");
// only then is the connection handed to a worker. Idle and slow connections therefore hold no
// worker: an idle one is closed after the keep-alive time-out, a request that is not complete
// within the request time-out (from its first byte) is answered 408, one over the size limits
// 413, 414 or 431. A worker may also give back a connection with an answer to be held back
// until a given time; the listener sends it then.
// Connections are limited in all and per client address. A new connection from an address at
// its limit closes that address's longest idle connection; when the server is full, a new
// connection closes the longest idle one of the address holding the most. Only when there is
// no idle connection to close is the new one answered 503. So one client's idle connections
// cannot lock the others out.
// Lock: fCSInbox, a leaf. The hand-over runs on the listener thread without locks held. The
// loop runs on a TStoppableThread: stop() asks it to end, wakes its poll and joins it.
class TWebListener {
public:
  // Takes a connection with a complete request; gives it back when it cannot take it.
  using THandOver = std::function<std::unique_ptr<TWebConnection>(std::unique_ptr<TWebConnection>)>;

  TWebListener(TWebListenerSettings aSettings, THandOver aHandOver);
  ~TWebListener(); // stop()
  TWebListener(const TWebListener&) = delete;
  TWebListener& operator=(const TWebListener&) = delete;

  // Binds and listens on aAddress (a numeric address or host name; empty means every
  // address) and aPort (0 picks a free port). Does not start the thread.
  TWebListenResult open(const std::string& aAddress, int aPort);
  void start();
  // Stops accepting, closes every connection the listener holds and joins its thread.
  void stop() EXCLUDES(fCSInbox);

  // A worker is done with a request and the connection stays open: wait for its next one.
  // Closes the connection when the listener is stopped.
  void giveBack(std::unique_ptr<TWebConnection> aConnection) EXCLUDES(fCSInbox);

  int getPort() const { return fPort; }
  // Connections open now: waiting here, queued for or served by a worker.
  int getOpenConnectionCount() const { return fTally->total(); }
  int getOpenConnectionCount(const std::string& aAddress) const {
    return fTally->countOf(aAddress);
  }

private:
  void run() EXCLUDES(fCSInbox);
  bool stopping() const { return fThread.stopRequested(); }
  void wake();
  void acceptAll(std::vector<std::unique_ptr<TWebConnection>>& aWaiting);
  // Reads what arrived; false when the connection is to be closed.
  bool receive(TWebConnection& aConnection);
  // Decides on the gathered bytes: hand over, refuse, or wait on.
  void examine(std::unique_ptr<TWebConnection>& aConnection);
  void refuse(TWebConnection& aConnection, int aStatus);
  // The connection waits for its next request from now on.
  void startWaiting(TWebConnection& aConnection);
  // Sends the held answer whose time has come; the connection then waits, drains or closes.
  void releaseHeldAnswer(std::unique_ptr<TWebConnection>& aConnection);
  // Makes room for a connection from aAddress; false when no idle connection can go for it.
  bool makeRoom(std::vector<std::unique_ptr<TWebConnection>>& aWaiting,
                const std::string& aAddress);
  void takeInbox(std::vector<std::unique_ptr<TWebConnection>>& aWaiting) EXCLUDES(fCSInbox);

  TWebListenerSettings fSettings;
  THandOver fHandOver;
  TWebSocketHandle fListenSocket;
  TWebSocketHandle fWakeEvent;
  int fPort = 0;
  std::shared_ptr<TWebConnectionTally> fTally;
  TCriticalSection fCSInbox;
  std::vector<std::unique_ptr<TWebConnection>> fInbox GUARDED_BY(fCSInbox);
  bool fStopped GUARDED_BY(fCSInbox) = false;
  TStoppableThread fThread;
};
