#include "web/UserSession.h"

#include "server/Accounts.h"
#include "server/ServerController.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using dbtest::EDbEngine;
using dbtest::TTestDatabase;

// Logons of several sessions against one administrator account, on a clock the test moves:
// a session that has to wait moves it on and notes how long.
class UserSessionTest : public testing::Test {
protected:
  UserSessionTest() : fDatabase(EDbEngine::embedded) {
    fDatabase.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                   "ACCOUNTTYPE) values (1, 'admin', '" +
                   encodeMD5("admin") + "', 'true', 255)");
    fController.database().connect(fDatabase.settings());
  }

  // One logon of a new session; how long its answer waited.
  std::chrono::milliseconds logon(const std::string& aUser, const std::string& aPassword,
                                  const std::string& aAddress, bool& aLoggedOn) {
    std::chrono::milliseconds waited(0);
    TIWUserSession session(++fSerial, fThrottle, [&](std::chrono::steady_clock::time_point aTime) {
      waited += std::chrono::duration_cast<std::chrono::milliseconds>(aTime - fNow);
      fNow = std::max(fNow, aTime);
    });
    aLoggedOn = session.login(aUser, aPassword, aAddress);
    return waited;
  }

  TTestDatabase fDatabase;
  TIWServerController fController;
  std::chrono::steady_clock::time_point fNow{};
  TLogonThrottle fThrottle{{500ms, 16s}, [this] { return fNow; }};
  std::uint64_t fSerial = 0;
};

TEST_F(UserSessionTest, FailedLogonsAreSlowedPerClientAddressAndARightOneIsNot) {
  bool loggedOn = true;
  EXPECT_EQ(logon("admin", "wrong", "127.0.0.2", loggedOn), 500ms);
  EXPECT_FALSE(loggedOn);
  // A new session with another name from the same address: the address counts.
  EXPECT_EQ(logon("nobody", "x", "127.0.0.2", loggedOn), 1s);
  EXPECT_EQ(logon("other", "x", "127.0.0.2", loggedOn), 2s);
  EXPECT_FALSE(loggedOn);
  // The right password, from elsewhere or from there once the answers came, waits for nothing.
  EXPECT_EQ(logon("admin", "admin", "127.0.0.1", loggedOn), 0ms);
  EXPECT_TRUE(loggedOn);
  EXPECT_EQ(logon("admin", "admin", "127.0.0.2", loggedOn), 0ms);
  EXPECT_TRUE(loggedOn);
  // The address keeps its failures: its next wrong password waits longer still.
  EXPECT_EQ(logon("admin", "wrong", "127.0.0.2", loggedOn), 4s);
  // Another address is not slowed by them.
  EXPECT_EQ(logon("somebody", "x", "127.0.0.3", loggedOn), 500ms);
}

} // namespace
