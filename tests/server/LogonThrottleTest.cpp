#include "server/LogonThrottle.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct TManualThrottle {
  explicit TManualThrottle(TLogonThrottleSettings aSettings = {1s, 8s, 15min, 10000})
      : Throttle(aSettings, [this] { return Now; }) {}
  std::chrono::steady_clock::time_point Now{};
  TLogonThrottle Throttle;
  // One attempt now: how long it waits for its check, and, when it fails, for its answer.
  std::pair<std::chrono::milliseconds, std::chrono::milliseconds>
  attempt(const std::vector<std::string>& aKeys, bool aSucceeds) {
    const auto ticket = Throttle.reserve(aKeys);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(ticket.CheckAt - Now);
    Now = std::max(Now, ticket.CheckAt);
    if (aSucceeds) {
      Throttle.succeeded(ticket);
      return {wait, 0ms};
    }
    const auto answer = Throttle.failed(ticket);
    return {wait, std::chrono::duration_cast<std::chrono::milliseconds>(answer - Now)};
  }
};

TEST(LogonThrottleTest, FailuresDelayTheirAnswerMoreEachTimeUpToTheCeiling) {
  TManualThrottle t;
  const std::chrono::milliseconds expected[] = {1s, 2s, 4s, 8s, 8s};
  for (const auto delay : expected) {
    const auto [wait, answer] = t.attempt({"account:admin"}, false);
    EXPECT_EQ(wait, 0ms) << "one after the other, each check runs at once";
    EXPECT_EQ(answer, delay);
    t.Now += answer;
  }
  // A correct password is not delayed and clears the key.
  EXPECT_EQ(t.attempt({"account:admin"}, true).first, 0ms);
  EXPECT_EQ(t.Throttle.nextDelay("account:admin"), 1s);
  EXPECT_EQ(t.Throttle.keyCount(), 0u);
}

TEST(LogonThrottleTest, TheSlowestKeyOfAnAttemptCounts) {
  TManualThrottle t;
  for (int i = 0; i < 3; ++i) {
    t.Now += t.attempt({"session:1", "account:anna"}, false).second;
  }
  // A new account name from the same session still waits for the session's delay.
  EXPECT_EQ(t.attempt({"session:1", "account:bert"}, false).second, 8s);
  EXPECT_EQ(t.Throttle.nextDelay("account:bert"), 2s);
}

TEST(LogonThrottleTest, AttemptsAtOnceOnOneKeyAreCheckedOneDelayApartAndAFloodIsRefused) {
  TManualThrottle t;
  std::vector<TLogonThrottle::TTicket> tickets;
  for (int i = 0; i < 6; ++i) {
    tickets.push_back(t.Throttle.reserve({"account:admin"}));
  }
  // Each reservation assumes the attempts before it fail: 0, 1, 1+1, ... the key's delay does
  // not grow before failures are counted.
  EXPECT_EQ(tickets[0].CheckAt - t.Now, 0s);
  EXPECT_EQ(tickets[1].CheckAt - t.Now, 1s);
  EXPECT_EQ(tickets[2].CheckAt - t.Now, 2s);
  int refused = 0;
  for (const auto& ticket : tickets) {
    refused += ticket.Refused ? 1 : 0;
  }
  EXPECT_EQ(refused, 0);
  for (int i = 0; i < 20; ++i) {
    refused += t.Throttle.reserve({"account:admin"}).Refused ? 1 : 0;
  }
  EXPECT_GT(refused, 0) << "the queue of one key is bounded by the ceiling";
  EXPECT_FALSE(t.Throttle.reserve({"account:other"}).Refused);
}

TEST(LogonThrottleTest, AdmittedAttemptsAreCheckedAtOnceOrRefusedUntilTheDelayIsOver) {
  TManualThrottle t;
  const std::vector<std::string> anna = {"account:anna"};
  const std::vector<std::string> address = {"address:127.0.0.2"};
  // Without failures any number of attempts are checked at once.
  EXPECT_FALSE(t.Throttle.admit(anna, address).Refused);
  EXPECT_FALSE(t.Throttle.admit(anna, address).Refused);
  EXPECT_EQ(t.Throttle.keyCount(), 0u);

  const auto first = t.Throttle.admit(anna, address);
  EXPECT_EQ(t.Throttle.failed(first) - t.Now, 1s);
  t.Now += 500ms;
  const auto early = t.Throttle.admit(anna, address);
  EXPECT_TRUE(early.Refused) << "the account name is still slowed";
  EXPECT_EQ(early.CheckAt - t.Now, 500ms);
  // Another account from the same address is checked; only a wrong answer waits.
  const auto bert = t.Throttle.admit({"account:bert"}, address);
  ASSERT_FALSE(bert.Refused);
  EXPECT_EQ(t.Throttle.failed(bert) - t.Now, 2s) << "the address's second failure";
  EXPECT_FALSE(t.Throttle.admit({"account:carl"}, address).Refused);

  t.Now += 500ms;
  const auto second = t.Throttle.admit(anna, address);
  ASSERT_FALSE(second.Refused);
  EXPECT_TRUE(t.Throttle.admit(anna, address).Refused) << "one check per delay, even at once";
  EXPECT_EQ(t.Throttle.failed(second) - t.Now, 4s) << "the slowest key counts";
  t.Now += 2s;

  // A right password from that address clears the account name; the address keeps its
  // failures for the next wrong answer.
  const auto right = t.Throttle.admit(anna, address);
  ASSERT_FALSE(right.Refused);
  t.Throttle.passed(right, anna);
  EXPECT_EQ(t.Throttle.nextDelay("account:anna"), 1s);
  EXPECT_EQ(t.Throttle.nextDelay("address:127.0.0.2"), 8s);
  EXPECT_FALSE(t.Throttle.admit(anna, address).Refused);

  // Failures long past count no more.
  t.Now += 15min;
  EXPECT_EQ(t.Throttle.failed(t.Throttle.admit(anna, address)) - t.Now, 1s);
}

TEST(LogonThrottleTest, QuietKeysAreForgottenAndTheirNumberIsBounded) {
  TManualThrottle t({1s, 8s, 10min, 3});
  t.attempt({"a"}, false);
  t.Now += 11min;
  EXPECT_EQ(t.Throttle.nextDelay("a"), 2s) << "kept until room is needed";
  for (const char* key : {"b", "c", "d", "e"}) {
    t.attempt({key}, false);
  }
  EXPECT_LE(t.Throttle.keyCount(), 3u);
}

} // namespace
