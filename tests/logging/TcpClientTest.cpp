#include "platform/TcpClient.h"

#include "platform/TcpServer.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using platform::TTcpClient;
using platform::TTcpServer;

// A listening server and one connection to it, both ends in the test's hand.
class TcpClientTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(fServer.listen("127.0.0.1", 0));
    ASSERT_GT(fServer.port(), 0);
    ASSERT_TRUE(fClient.connect("127.0.0.1", fServer.port(), 2000));
    ASSERT_TRUE(fServer.accept(fPeer, 2000));
  }
  TTcpServer fServer;
  TTcpClient fClient;
  TTcpClient fPeer;
};

TEST_F(TcpClientTest, SendsAndReadsCrLfLines) {
  ASSERT_TRUE(fClient.sendLine("log:one", 1000));
  ASSERT_TRUE(fClient.sendLine("", 1000));
  std::string line;
  ASSERT_TRUE(fPeer.readLine(line, 1000));
  EXPECT_EQ(line, "log:one");
  ASSERT_TRUE(fPeer.readLine(line, 1000));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(fPeer.sendLine("200:OK", 1000));
  ASSERT_TRUE(fClient.readLine(line, 1000));
  EXPECT_EQ(line, "200:OK");
  EXPECT_FALSE(fClient.peerName().empty());
}

TEST_F(TcpClientTest, AnUnfinishedLineWaitsForItsEnd) {
  TTcpClient& raw = fPeer;
  ASSERT_TRUE(raw.sendLine("first\nsec", 1000)); // "first\nsec\r\n" in one piece
  std::string line;
  ASSERT_TRUE(fClient.readLine(line, 1000));
  EXPECT_EQ(line, "first");
  ASSERT_TRUE(fClient.readLine(line, 1000));
  EXPECT_EQ(line, "sec");
  const auto timedOut = fClient.readLine(line, 50);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(timedOut.error, ETIMEDOUT);
}

TEST_F(TcpClientTest, ReportsAClosedConnectionAndALineTooLong) {
  ASSERT_TRUE(fPeer.sendLine(std::string(100, 'x'), 1000));
  std::string line;
  const auto tooLong = fClient.readLine(line, 1000, 10);
  EXPECT_EQ(tooLong.error, EMSGSIZE);
  EXPECT_TRUE(fClient.discardInput()) << "still open";
  fPeer.disconnect();
  const auto closed = fClient.readLine(line, 1000);
  EXPECT_FALSE(closed);
  EXPECT_EQ(closed.error, ECONNRESET);
  EXPECT_FALSE(fClient.discardInput());
  // Sending into a closed connection fails at the latest on the second try, without SIGPIPE.
  const bool first = static_cast<bool>(fClient.sendLine("a", 1000));
  const bool second = static_cast<bool>(fClient.sendLine("b", 1000));
  EXPECT_FALSE(first && second);
}

TEST(TcpClientConnectTest, RefusesBadTargets) {
  TTcpServer closed;
  ASSERT_TRUE(closed.listen("127.0.0.1", 0));
  const int port = closed.port();
  closed.close();
  TTcpClient client;
  const auto refused = client.connect("127.0.0.1", port, 2000);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.error, ECONNREFUSED);
  for (int bad : {0, -1, 65536, 70000}) {
    const auto result = client.connect("127.0.0.1", bad, 100);
    EXPECT_EQ(result.error, EINVAL) << bad;
  }
  EXPECT_EQ(client.connect("", 80, 100).error, EINVAL);
  EXPECT_FALSE(client.connect("no-such-host.invalid", 80, 2000));
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(client.sendLine("x", 10).error, ENOTCONN);
  std::string line;
  EXPECT_EQ(client.readLine(line, 10).error, ENOTCONN);
  TTcpServer server;
  EXPECT_EQ(server.listen("127.0.0.1", 70000).error, EINVAL);
  TTcpClient accepted;
  EXPECT_EQ(server.accept(accepted, 10).error, ENOTCONN);
}

} // namespace
