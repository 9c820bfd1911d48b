#include "logging/KvLogAppenderTCP.h"

#include "platform/TcpClient.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

namespace kvlogging {
namespace {

// A decimal integer with optional leading blanks and sign, nothing after it.
bool tryParseCode(const std::string& aText, int& aCode) {
  std::size_t pos = aText.find_first_not_of(' ');
  if (pos == std::string::npos) {
    return false;
  }
  bool negative = false;
  if (aText[pos] == '+' || aText[pos] == '-') {
    negative = aText[pos] == '-';
    ++pos;
  }
  if (pos == aText.size()) {
    return false;
  }
  long long value = 0;
  for (; pos < aText.size(); ++pos) {
    if (aText[pos] < '0' || aText[pos] > '9') {
      return false;
    }
    value = value * 10 + (aText[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      return false;
    }
  }
  value = negative ? -value : value;
  if (value > INT_MAX || value < INT_MIN) {
    return false;
  }
  aCode = static_cast<int>(value);
  return true;
}

bool evaluateCode(const std::string& aCodeText, const std::string* aResultText,
                  std::string& aFailure) {
  int code = 0;
  if (!tryParseCode(aCodeText, code)) {
    aFailure = "server result contained no result code";
    return false;
  }
  if (code == KVLOGPTCP_OK) {
    return true;
  }
  const std::string name = logServerResultCodeName(code);
  if (name.empty()) {
    aFailure = "unknown result code in server result";
  } else {
    aFailure = aResultText != nullptr ? name + ":" + *aResultText : name;
  }
  return false;
}

} // namespace

std::string logServerResultCodeName(int aCode) {
  switch (aCode) {
  case KVLOGPTCP_OK:
    return "KVLOGPTCP_OK";
  case KVLOGPTCP_BADREQUEST:
    return "KVLOGPTCP_BADREQUEST";
  case KVLOGPTCP_UNAUTHORIZED:
    return "KVLOGPTCP_UNAUTHORIZED";
  case KVLOGPTCP_PAYMENTREQUIRED:
    return "KVLOGPTCP_PAYMENTREQUIRED";
  case KVLOGPTCP_FORBIDDEN:
    return "KVLOGPTCP_FORBIDDEN";
  case KVLOGPTCP_NOTFOUND:
    return "KVLOGPTCP_NOTFOUND";
  case KVLOGPTCP_METHODNOTALLOWED:
    return "KVLOGPTCP_METHODNOTALLOWED";
  case KVLOGPTCP_INTERNALSERVERERROR:
    return "KVLOGPTCP_INTERNALSERVERERROR";
  case KVLOGPTCP_NOTIMPLEMENTED:
    return "KVLOGPTCP_NOTIMPLEMENTED";
  case KVLOGPTCP_SERVICETEMPORARYUNAVAILABLE:
    return "KVLOGPTCP_SERVICETEMPORARYUNAVAILABLE";
  default:
    return {};
  }
}

bool evaluateLogServerAnswer(const std::string& aAnswer, std::string& aFailure) {
  aFailure.clear();
  const std::size_t colon = aAnswer.find(':');
  if (colon != std::string::npos) {
    const std::string code = aAnswer.substr(0, colon);
    const std::string text = aAnswer.substr(colon + 1);
    if (code.empty()) {
      aFailure = "server result code was empty";
      return false;
    }
    return evaluateCode(code, &text, aFailure);
  }
  if (aAnswer.empty()) {
    aFailure = "server result was empty";
    return false;
  }
  return evaluateCode(aAnswer, nullptr, aFailure);
}

std::string logServerPasswordDigest(const std::string& aPassword) {
  if (aPassword.empty()) {
    return {};
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(aPassword.data(), aPassword.size(), digest, &length, EVP_md5(), nullptr) != 1) {
    return {};
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

} // namespace kvlogging

// ---- sender thread ----

TKvLogAppenderTCPThread::TKvLogAppenderTCPThread(const TKvLogAppenderTCPThreadSettings& aSettings,
                                                 IKvLogAppenderTCPThreadAdapter& aAdapter)
    : fFormatSettings(aSettings.FormatSettings), fMachineIdent(aSettings.MachineIdent),
      fHostOrIP(aSettings.HostOrIP), fPort(aSettings.Port), fRetryCount(aSettings.RetryCount),
      fUsername(aSettings.Username), fPassword(aSettings.Password), fAdapter(&aAdapter),
      fTiming(aSettings.Timing) {}

TKvLogAppenderTCPThread::~TKvLogAppenderTCPThread() {
  terminate();
  waitFor();
}

void TKvLogAppenderTCPThread::resume() {
  if (!fThread.joinable()) {
    fThread.start([this](TStoppableThread&) { Execute(); });
  }
}

void TKvLogAppenderTCPThread::terminate() {
  fThread.requestStop();
}

void TKvLogAppenderTCPThread::waitFor() {
  fThread.join();
}

bool TKvLogAppenderTCPThread::pause(int aMs) {
  return fThread.waitFor(std::chrono::milliseconds(aMs));
}

void TKvLogAppenderTCPThread::Execute() {
  while (!isTerminated()) {
    try {
      if (fTCP && !fTCP->discardInput()) {
        // Closed by the server while idle: reconnect before an entry is taken, so that the
        // next entry is not spent on a dead connection.
        disconnectFromServer();
      }
      if (!fTCP) {
        connectToServer();
      }
      if (!fTCP) {
        pause(fTiming.ReconnectPauseMs);
        continue;
      }
      const std::string entry = fAdapter->consumeEntry();
      if (entry.empty()) {
        pause(fTiming.IdlePauseMs);
        continue;
      }
      if (!sendEntry(entry)) {
        fAdapter->restoreEntry(entry); // stopped half-way: the next start sends it again
      }
    } catch (...) {
      // Nothing may end the thread but terminate(): start again from a new connection.
      fTCP.reset();
      pause(fTiming.ReconnectPauseMs);
    }
  }
  fTCP.reset(); // closes the connection
}

bool TKvLogAppenderTCPThread::connectToServer() {
  auto client = std::make_unique<platform::TTcpClient>();
  if (!client->connect(fHostOrIP, fPort, fTiming.ConnectTimeoutMs)) {
    return false;
  }
  if (!fUsername.empty()) {
    if (!client->sendLine(fUsername, fTiming.AnswerTimeoutMs) ||
        !client->sendLine(kvlogging::logServerPasswordDigest(fPassword), fTiming.AnswerTimeoutMs)) {
      return false;
    }
  }
  fTCP = std::move(client);
  return true;
}

void TKvLogAppenderTCPThread::disconnectFromServer() {
  if (fTCP) {
    fTCP->disconnect();
  }
  fTCP.reset();
}

bool TKvLogAppenderTCPThread::sendEntry(const std::string& aEntry) {
  int counter = 0;
  for (;;) {
    if (attempt(aEntry)) {
      return true;
    }
    if (isTerminated()) {
      return false;
    }
    ++counter;
    if (counter > fRetryCount) {
      break;
    }
    if (pause(fTiming.RetryPauseMs)) {
      return false;
    }
  }
  // The entry is given up; the next pass builds a new connection with a new login.
  disconnectFromServer();
  pause(fTiming.ReconnectPauseMs);
  return true;
}

bool TKvLogAppenderTCPThread::attempt(const std::string& aEntry) {
  if (!fTCP) {
    return false;
  }
  fTCP->discardInput(); // a late answer to an earlier attempt must not count for this one
  if (!fTCP->sendLine(kvlogging::SC_LOGREQUEST + aEntry, fTiming.AnswerTimeoutMs)) {
    return false;
  }
  std::string answer;
  if (!readAnswer(answer)) {
    answer.clear(); // no complete line in time: an empty answer
  }
  std::string failure;
  return kvlogging::evaluateLogServerAnswer(answer, failure);
}

bool TKvLogAppenderTCPThread::readAnswer(std::string& aAnswer) {
  // Read in short slices so that terminate() need not wait for the whole answer time.
  constexpr int kSliceMs = 100;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(fTiming.AnswerTimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    const int slice = static_cast<int>(std::clamp<long long>(left, 0, kSliceMs));
    const platform::TNetResult read = fTCP->readLine(aAnswer, slice);
    if (read) {
      return true;
    }
    if (read.error != ETIMEDOUT || left <= 0 || isTerminated()) {
      return false;
    }
  }
}

// ---- appender ----

TKvLogAppenderTCP::TKvLogAppenderTCP()
    : fLevelFilter(std::make_unique<TKvLoggerMessageFilterLevelSet>()),
      fFormater(std::make_unique<TKvLogFormaterTCP>()) {
  initLoggerFormatSettings(fFormatSettings);
  fLevelFilter->setLevelAndAbove(KVLL_WARN);
}

TKvLogAppenderTCP::~TKvLogAppenderTCP() {
  stop();
}

void TKvLogAppenderTCP::append(const TKvLoggerMessage& aEvent) {
  start();
  if (!fLevelFilter->match(aEvent) || (fUserFilter != nullptr && !fUserFilter->match(aEvent))) {
    return;
  }
  const int limit = getMaxEntries();
  bool overflow = false;
  {
    TScopedLock lock(fCSBuffer);
    if (static_cast<int>(fBuffer.size()) < limit) {
      fBuffer.push_back(kvlogging::escapeLineBreaks(fFormater->formatMessage(aEvent)));
    } else {
      overflow = true;
    }
  }
  if (overflow && OnOverflow) {
    OnOverflow(limit);
  }
}

std::string TKvLogAppenderTCP::consumeEntry() {
  TScopedLock lock(fCSBuffer);
  if (fBuffer.empty()) {
    return {};
  }
  std::string entry = std::move(fBuffer.front());
  fBuffer.pop_front();
  return entry;
}

void TKvLogAppenderTCP::restoreEntry(const std::string& aEntry) {
  TScopedLock lock(fCSBuffer);
  fBuffer.push_front(aEntry);
}

int TKvLogAppenderTCP::getCurrentEntries() const {
  TScopedLock lock(fCSBuffer);
  return static_cast<int>(fBuffer.size());
}

void TKvLogAppenderTCP::start() {
  TScopedLock lock(fCSWorker);
  if (fWorker) {
    return;
  }
  TKvLogAppenderTCPThreadSettings settings;
  settings.FormatSettings = fFormatSettings;
  settings.MachineIdent = fMachineIdent;
  settings.HostOrIP = fHostOrIP;
  settings.Port = fPort;
  settings.RetryCount = fRetryCount;
  settings.Username = fUsername;
  settings.Password = fPassword;
  settings.Timing = fTiming;
  fWorker = std::make_unique<TKvLogAppenderTCPThread>(settings, *this);
  fWorker->resume();
}

void TKvLogAppenderTCP::stop() {
  TScopedLock lock(fCSWorker);
  if (!fWorker) {
    return;
  }
  fWorker->terminate();
  fWorker->waitFor();
  fWorker.reset();
}

bool TKvLogAppenderTCP::isStarted() const {
  TScopedLock lock(fCSWorker);
  return fWorker != nullptr;
}

void TKvLogAppenderTCP::setMachineIdent(const std::string& aIdent) {
  if (aIdent != fMachineIdent) {
    fMachineIdent = aIdent;
    fFormater->setMachineIdent(aIdent);
  }
}
