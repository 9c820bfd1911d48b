#include "tools/logserver/LogServer.h"

#include "common/TextEncoding.h"
#include "logging/KvLogAppenderTCP.h"
#include "logging/KvLogFormater.h"

#include <cerrno>

namespace {

constexpr int kAcceptSliceMs = 100;
constexpr int kReadSliceMs = 200;
constexpr const char* kCloseAnswer = "close";

std::string piped(std::string aText) {
  for (char& c : aText) {
    if (c == '|') {
      c = '-';
    }
  }
  return aText;
}

bool isRequest(const std::string& aLine) {
  return aLine.starts_with(kvlogging::SC_LOGREQUEST);
}

} // namespace

TLogServer::TLogServer(TLogServerOptions aOptions) : fOptions(std::move(aOptions)) {}

TLogServer::~TLogServer() {
  stop();
}

platform::TNetResult TLogServer::start() {
  if (auto listening = fListener.listen(fOptions.BindAddress, fOptions.Port); !listening) {
    return listening;
  }
  fStopping = false;
  fAcceptThread = std::thread([this] { acceptLoop(); });
  trace("listening on " + fOptions.BindAddress + ":" + std::to_string(port()));
  return {};
}

void TLogServer::stop() {
  fStopping = true;
  if (fAcceptThread.joinable()) {
    fAcceptThread.join();
  }
  std::list<std::unique_ptr<TConnection>> connections;
  {
    std::lock_guard lock(fCSConnections);
    connections.swap(fConnections);
  }
  for (auto& connection : connections) {
    if (connection->Thread.joinable()) {
      connection->Thread.join();
    }
  }
  fListener.close();
}

std::vector<TLogServerRequest> TLogServer::requests() const {
  std::lock_guard lock(fCSOutput);
  return fRequests;
}

std::vector<std::string> TLogServer::storedLines() const {
  std::lock_guard lock(fCSOutput);
  return fStoredLines;
}

std::string TLogServer::outputLineFor(const std::string& aEntry) {
  const TKvLogFormaterTCP reader;
  std::string machine;
  const auto message = reader.parseMessageMachine(aEntry, machine);
  if (!message) {
    return {};
  }
  const TKvLogFormaterDefault writer;
  const auto field = [](const std::string& aText) {
    return kvlogging::escapeControlCharacters(piped(aText));
  };
  return writer.formatMessage(*message) + "|" + field(machine) + "|" +
         field(message->getLogExceptionClassName()) + "|" + field(message->getStackTrace());
}

void TLogServer::trace(const std::string& aText) {
  std::lock_guard lock(fCSOutput);
  if (OnTrace) {
    OnTrace(aText);
  }
}

void TLogServer::record(TLogServerRequest aRequest, const std::string& aOutputLine) {
  std::lock_guard lock(fCSOutput);
  if (OnTrace) {
    OnTrace("connection " + std::to_string(aRequest.Connection) + ": request answered \"" +
            aRequest.Answer + "\"" + (aRequest.Stored ? ", stored" : ""));
  }
  if (aRequest.Stored && OnOutputLine) {
    OnOutputLine(aOutputLine);
  }
  if (fOptions.KeepHistory) {
    if (aRequest.Stored) {
      fStoredLines.push_back(aOutputLine);
    }
    fRequests.push_back(std::move(aRequest));
  }
}

void TLogServer::reapFinished() {
  std::lock_guard lock(fCSConnections);
  for (auto it = fConnections.begin(); it != fConnections.end();) {
    if ((*it)->Finished) {
      (*it)->Thread.join();
      it = fConnections.erase(it);
    } else {
      ++it;
    }
  }
}

void TLogServer::acceptLoop() {
  while (!fStopping) {
    reapFinished();
    platform::TTcpClient client;
    const platform::TNetResult accepted = fListener.accept(client, kAcceptSliceMs);
    if (!accepted) {
      if (accepted.error != ETIMEDOUT && accepted.error != EINTR) {
        trace("accept failed: " + accepted.message());
      }
      continue;
    }
    const int number = ++fConnectionCount;
    std::lock_guard lock(fCSConnections);
    if (static_cast<int>(fConnections.size()) >= fOptions.MaxConnections) {
      trace("connection " + std::to_string(number) + " refused: too many connections");
      continue; // the client is closed when it goes out of scope
    }
    auto connection = std::make_unique<TConnection>();
    connection->Number = number;
    connection->Client = std::move(client);
    TConnection& running = *connection;
    fConnections.push_back(std::move(connection));
    running.Thread = std::thread([this, &running] {
      try {
        serve(running);
      } catch (const std::exception& e) {
        trace("connection " + std::to_string(running.Number) + " failed: " + e.what());
      }
      running.Client.disconnect();
      running.Finished = true;
    });
  }
}

bool TLogServer::readLine(TConnection& aConnection, std::string& aLine) {
  while (!fStopping) {
    const platform::TNetResult read = aConnection.Client.readLine(aLine, kReadSliceMs);
    if (read) {
      return true;
    }
    if (read.error != ETIMEDOUT) {
      trace("connection " + std::to_string(aConnection.Number) + " ended: " + read.message());
      return false;
    }
  }
  return false;
}

std::string TLogServer::chooseAnswer(int aConnection, const std::string& aEntry,
                                     int aEntriesSoFar) {
  if (OnChooseAnswer) {
    return OnChooseAnswer(aConnection, aEntry);
  }
  if (fOptions.Silent) {
    return {};
  }
  if (fOptions.DropAfter > 0 && aEntriesSoFar > fOptions.DropAfter) {
    return kCloseAnswer;
  }
  return fOptions.Answer;
}

void TLogServer::serve(TConnection& aConnection) {
  const std::string name = "connection " + std::to_string(aConnection.Number);
  trace(name + " from " + aConnection.Client.peerName());
  // With a user configured the first two lines are the login; without one, lines that are
  // no request (the login of a client that sends one) are read and left unanswered.
  enum class ELogin { NONE, USER, DIGEST, DONE, FAILED };
  ELogin login = fOptions.Username.empty() ? ELogin::NONE : ELogin::USER;
  std::string user;
  int entries = 0;
  std::string line;
  while (readLine(aConnection, line)) {
    if (login == ELogin::DIGEST) {
      const bool valid =
          user == fOptions.Username &&
          lowerAscii(line) == lowerAscii(kvlogging::logServerPasswordDigest(fOptions.Password));
      login = valid ? ELogin::DONE : ELogin::FAILED;
      if (valid) {
        ++fLoginCount;
      }
      trace(name + ": login of \"" + user + "\" " + (valid ? "accepted" : "refused"));
      continue;
    }
    if (!isRequest(line)) {
      if (login == ELogin::USER) {
        user = line;
        login = ELogin::DIGEST;
      }
      continue;
    }
    const std::string entry = line.substr(std::string(kvlogging::SC_LOGREQUEST).size());
    ++entries;
    TLogServerRequest request;
    request.Connection = aConnection.Number;
    request.Entry = entry;
    std::string outputLine;
    if (login == ELogin::USER || login == ELogin::FAILED) {
      request.Answer = login == ELogin::USER ? "401:login required" : "401:login refused";
    } else {
      request.Answer = chooseAnswer(aConnection.Number, entry, entries);
      if (request.Answer == kCloseAnswer) {
        record(request, {});
        trace(name + " closed by the server");
        return;
      }
      outputLine = outputLineFor(entry);
      std::string failure;
      if (outputLine.empty() && !request.Answer.empty() && !OnChooseAnswer) {
        request.Answer = "400:the entry is no log line";
      }
      request.Stored =
          !outputLine.empty() && kvlogging::evaluateLogServerAnswer(request.Answer, failure);
    }
    if (!request.Answer.empty() &&
        !aConnection.Client.sendLine(request.Answer, kReadSliceMs * 25)) {
      request.Stored = false; // unanswered: the client sends it again
      record(request, {});
      return;
    }
    record(std::move(request), outputLine);
  }
}
