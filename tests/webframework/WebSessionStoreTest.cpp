#include "webframework/WebSessionStore.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A store on a manual clock with numbered tokens.
struct TManualStore {
  explicit TManualStore(std::size_t aMax, std::chrono::milliseconds aTimeout = 15min)
      : Store(
            {aTimeout, aMax}, [this] { return Now; },
            [this] { return "token" + std::to_string(++Tokens); }) {}
  std::chrono::steady_clock::time_point Now{};
  int Tokens = 0;
  TWebSessionStore Store;
};

TEST(WebSessionStoreTest, TokensAre128RandomBits) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string token = TWebSessionStore::newToken();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    seen.insert(token);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(WebSessionStoreTest, ASessionEndsAfterTheIdleTimeOutCountedFromItsLastRequest) {
  TManualStore s(10);
  std::string token;
  {
    auto claim = s.Store.create();
    token = claim->getToken();
    s.Now += 20min; // a long request does not count as idle time
  }
  s.Now += 14min + 59s;
  {
    bool timedOut = true;
    auto claim = s.Store.claim(token, &timedOut);
    ASSERT_TRUE(claim);
    EXPECT_FALSE(timedOut);
  }
  s.Now += 15min;
  bool timedOut = false;
  EXPECT_FALSE(s.Store.claim(token, &timedOut));
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(s.Store.count(), 0u);
  EXPECT_FALSE(s.Store.claim(token, &timedOut)); // gone for good
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(s.Store.claim("no such token"));
}

TEST(WebSessionStoreTest, SweepEndsOnlyIdleSessionsAndDestroysThemOutsideTheLock) {
  TManualStore s(10, 1min);
  auto held = s.Store.create();
  std::weak_ptr<int> data;
  {
    auto idle = s.Store.create();
    struct TData : TWebSessionData {
      std::shared_ptr<int> Value = std::make_shared<int>(1);
    };
    auto payload = std::make_unique<TData>();
    data = payload->Value;
    idle->setData(std::move(payload));
  }
  s.Now += 2min;
  EXPECT_EQ(s.Store.sweep(), 1u);
  EXPECT_TRUE(data.expired()) << "the ended session's data is freed";
  EXPECT_EQ(s.Store.count(), 1u) << "a claimed session never ends";
}

TEST(WebSessionStoreTest, AFullStorePushesOutTheSessionIdleTheLongest) {
  TManualStore s(3);
  std::vector<std::string> tokens;
  for (int i = 0; i < 3; ++i) {
    tokens.push_back(s.Store.create()->getToken());
    s.Now += 1s;
  }
  s.Store.claim(tokens[0]); // used again: now the second is the oldest idle one
  s.Now += 1s;
  auto newest = s.Store.create();
  ASSERT_TRUE(newest);
  EXPECT_EQ(s.Store.count(), 3u);
  EXPECT_TRUE(s.Store.claim(tokens[0]));
  EXPECT_FALSE(s.Store.claim(tokens[1]));
  EXPECT_TRUE(s.Store.claim(tokens[2]));
}

TEST(WebSessionStoreTest, AStoreFullOfClaimedSessionsRefusesNewOnes) {
  TManualStore s(2);
  auto a = s.Store.create();
  auto b = s.Store.create();
  EXPECT_FALSE(s.Store.create());
  b.release();
  EXPECT_TRUE(s.Store.create());
  EXPECT_TRUE(s.Store.claim(a->getToken()));
}

TEST(WebSessionStoreTest, ManyThreadsCreateAndClaimWithinTheBound) {
  TWebSessionStore store({15min, 50});
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&store] {
      for (int i = 0; i < 200; ++i) {
        auto claim = store.create();
        if (claim) {
          const std::string token = claim->getToken();
          claim.release();
          store.claim(token);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_LE(store.count(), 50u);
}

TEST(WebSessionStoreTest, OneRequestOfASessionAtATime) {
  TWebSession session("t", 1);
  ASSERT_TRUE(session.enter(1s));
  EXPECT_FALSE(session.enter(10ms));
  std::thread other([&] {
    EXPECT_TRUE(session.enter(30s)); // waits for the first to leave
    session.leave();
  });
  session.leave();
  other.join();
  EXPECT_TRUE(session.enter(10ms));
  session.leave();
}

} // namespace
