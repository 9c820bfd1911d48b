#pragma once

#include "platform/TcpClient.h"
#include "platform/TcpServer.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How the log server behaves. The defaults accept every entry of every client.
struct TLogServerOptions {
  std::string BindAddress = "127.0.0.1";
  int Port = 0; // 0: a free port, see TLogServer::port()
  // When set, a connection must log in first: its first line is the user name, its second the
  // MD5 of the password as the client sends it (upper-case hex, empty for an empty password).
  std::string Username;
  std::string Password;
  std::string Answer = "200"; // the answer line to every well-formed request
  bool Silent = false;        // read requests, never answer
  int DropAfter = 0;          // > 0: close a connection when its entry DropAfter + 1 arrives
  int MaxConnections = 16;    // further connections are closed at once
  bool KeepHistory = false;   // keep every request and stored line for requests()/storedLines()
};

// What the server did with one request line, for the operator's trace and for tests.
struct TLogServerRequest {
  int Connection = 0;  // 1 for the first connection accepted, and so on
  std::string Entry;   // the request line without "log:"
  std::string Answer;  // "" when none was sent
  bool Stored = false; // accepted and written to the output
};

// The server side of the log protocol: one thread accepts, one thread per connection reads
// "log:" requests and answers each with one line. Accepted entries are parsed back with the
// TCP formatter and handed to OnOutputLine as one line each: the default log-file format,
// then the machine ident, the exception class and the stack trace ("~#10~" for line breaks).
// Handlers run on the connection threads, one at a time (under fCSOutput); they must not
// call stop(). start/stop from one controlling thread.
class TLogServer {
public:
  explicit TLogServer(TLogServerOptions aOptions);
  ~TLogServer();
  TLogServer(const TLogServer&) = delete;
  TLogServer& operator=(const TLogServer&) = delete;

  platform::TNetResult start();
  void stop(); // closes every connection and joins every thread
  int port() const { return fListener.port(); }

  // Only with KeepHistory; otherwise empty.
  std::vector<TLogServerRequest> requests() const;
  int connectionCount() const { return fConnectionCount.load(); }
  int loginCount() const { return fLoginCount.load(); }
  std::vector<std::string> storedLines() const;

  std::function<void(const std::string& aLine)> OnOutputLine;
  std::function<void(const std::string& aText)> OnTrace; // connections, logins, requests
  // Decides the answer to one entry instead of the options: "" stays silent, "close" closes
  // the connection without an answer.
  std::function<std::string(int aConnection, const std::string& aEntry)> OnChooseAnswer;

  // The output line for one received entry, or "" when the entry is no TCP-format line.
  static std::string outputLineFor(const std::string& aEntry);

private:
  struct TConnection {
    int Number = 0;
    platform::TTcpClient Client;
    std::thread Thread;
    std::atomic<bool> Finished{false};
  };

  void acceptLoop();
  void serve(TConnection& aConnection);
  // Reads the next line; false when the connection ended or the server stops.
  bool readLine(TConnection& aConnection, std::string& aLine);
  std::string chooseAnswer(int aConnection, const std::string& aEntry, int aEntriesSoFar);
  void record(TLogServerRequest aRequest, const std::string& aOutputLine);
  void trace(const std::string& aText);
  void reapFinished();

  TLogServerOptions fOptions;
  platform::TTcpServer fListener;
  std::atomic<bool> fStopping{false};
  std::thread fAcceptThread;
  std::mutex fCSConnections; // the list of connections
  std::list<std::unique_ptr<TConnection>> fConnections;
  std::atomic<int> fConnectionCount{0};
  std::atomic<int> fLoginCount{0};
  mutable std::mutex fCSOutput; // requests, stored lines and the handlers
  std::vector<TLogServerRequest> fRequests;
  std::vector<std::string> fStoredLines;
};
