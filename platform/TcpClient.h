#pragma once

#include <string>
#include <string_view>

// A TCP connection on POSIX sockets that speaks CR LF-terminated text lines. Every wait has a
// limit in milliseconds; nothing here throws; failures carry errno (ETIMEDOUT for a wait that
// ran out, ECONNRESET for a connection the peer closed, EINVAL for a bad port or host).
namespace platform {

struct [[nodiscard]] TNetResult {
  bool ok = true;
  int error = 0;      // errno of the failure
  std::string detail; // a more precise text where errno says too little (name resolution)
  explicit operator bool() const { return ok; }
  std::string message() const;
  static TNetResult failure(int aError, std::string aDetail = {}) {
    return {false, aError, std::move(aDetail)};
  }
};

// Owns one socket; move-only. Used by one thread at a time (the owner's).
class TTcpClient {
public:
  static constexpr std::size_t IC_DEFAULTMAXLINELENGTH = 1024 * 1024;

  TTcpClient() = default;
  // Takes over a connected socket (from TTcpServer::accept).
  explicit TTcpClient(int aConnectedSocket);
  ~TTcpClient();
  TTcpClient(TTcpClient&& aOther) noexcept;
  TTcpClient& operator=(TTcpClient&& aOther) noexcept;
  TTcpClient(const TTcpClient&) = delete;
  TTcpClient& operator=(const TTcpClient&) = delete;

  // Resolves aHost and connects to the first of its addresses that answers within the time.
  // A port outside 1..65535 or an empty host fails with EINVAL. Closes a previous connection.
  TNetResult connect(const std::string& aHost, int aPort, int aTimeoutMs);
  bool isConnected() const { return fSocket >= 0; }
  void disconnect();

  // Sends aLine followed by CR LF, completely or not at all within the time.
  TNetResult sendLine(std::string_view aLine, int aTimeoutMs);
  // Reads up to the next LF; the line is returned without its LF and a CR before it. Bytes of
  // an unfinished line stay buffered for the next call. A line longer than aMaxLength fails
  // with EMSGSIZE.
  TNetResult readLine(std::string& aLine, int aTimeoutMs,
                      std::size_t aMaxLength = IC_DEFAULTMAXLINELENGTH);
  // Drops what has arrived but not been read (a late answer to an earlier request), without
  // waiting. False when the other side has closed the connection or it has failed.
  bool discardInput();

  // "address:port" of the other side, or "" when unknown.
  std::string peerName() const;

private:
  TNetResult sendAll(std::string_view aData, int aTimeoutMs);

  int fSocket = -1;
  std::string fInput; // received, not yet returned
};

} // namespace platform
