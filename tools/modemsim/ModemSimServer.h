#pragma once

#include "tools/modemsim/ModemSimControl.h"
#include "tools/modemsim/ModemSimEngine.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace modemsim {

struct TModemSimServerOptions {
  std::string LinkPath;    // where the device appears, e.g. /tmp/x/COM5
  std::string ControlPath; // Unix socket of the control protocol; empty: none
  std::string LogPath;     // log of every command and PDU; empty: none
  unsigned Baud = 0;       // line pacing in both directions; 0 unpaced
  int UrcEveryMs = 0;      // an unsolicited line this often (as USB sticks send); 0 never
  std::string UrcText = "^RSSI:18";
};

// The simulator process: a pseudo-terminal linked at LinkPath, the modem engine behind it,
// a control socket. One thread runs everything in run(); requestStop() may be called from a
// signal handler.
class TModemSimServer {
public:
  TModemSimServer(TModemSimServerOptions aOptions, TModemSimOptions aModemOptions);
  ~TModemSimServer();
  TModemSimServer(const TModemSimServer&) = delete;
  TModemSimServer& operator=(const TModemSimServer&) = delete;

  // Creates the control socket, then the device link; false with aError when either fails.
  bool start(std::string& aError);
  // Serves until "quit" or requestStop(); removes the link and the socket at the end.
  void run();
  void requestStop();

private:
  using TClock = std::chrono::steady_clock;
  struct TTimedBytes {
    TClock::time_point Due;
    std::string Bytes;
    std::size_t Offset = 0;
  };
  struct TClient {
    int Fd = -1;
    std::string Buffer;
  };

  bool plug(std::string& aError);
  void unplug();
  void log(const std::string& aLine);
  void schedule(const std::vector<TSimOutput>& aOutputs);
  // Sends "<text>" as an unsolicited line now: at the next line end of the output still
  // going out, so it may land inside an answer, or at once when nothing is going out.
  void injectNow(const std::string& aText);
  TClock::duration byteTime() const;
  void readLine();
  void processDueInput(TClock::time_point aNow);
  // Writes what is due; returns when the next byte may go (max() when nothing waits).
  TClock::time_point writeDueOutput(TClock::time_point aNow, bool& aWantWrite);
  void acceptClient();
  bool serveClient(TClient& aClient); // false: the client is gone
  std::string execute(const TControlCommand& aCommand);

  TModemSimServerOptions fOptions;
  TModemSimEngine fEngine;
  int fMaster = -1;
  int fSlave = -1; // held open so that the line survives the user closing it
  int fListener = -1;
  int fWakePipe[2] = {-1, -1};
  bool fQuit = false;
  std::vector<TClient> fClients;
  std::deque<TTimedBytes> fInput;
  std::deque<TTimedBytes> fOutput;
  TClock::time_point fInClock{};
  TClock::time_point fOutClock{};
  TClock::time_point fLastOutputDue{};
  TClock::time_point fNextUrc = TClock::time_point::max();
  std::FILE* fLog = nullptr;
  std::uint8_t fNextReference = 1; // of the next text delivered in parts
};

} // namespace modemsim
