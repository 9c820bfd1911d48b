#include "modem/SMSConcatCollector.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using std::chrono::minutes;

const TDateTime SC_START = TDateTime::encode(2024, 5, 1, 12, 0, 0);

TDateTime at(int aMinute) {
  return SC_START.addMilliseconds(aMinute * 60'000LL);
}

// A part from aSender with an 8-bit reference (aWide: a 16-bit one), received at aMinute.
TSMSConcatPart part(const std::string& aSender, int aReference, int aTotal, int aNumber,
                    const std::string& aText, int aMinute = 0, bool aWide = false) {
  TSMSConcatPart result;
  result.Decoded.Address = aSender;
  result.Decoded.Message = aText;
  result.Decoded.Concat = {aReference, aWide, aTotal, aNumber};
  result.PDU = aSender + "/" + aText;
  result.Received = at(aMinute);
  return result;
}

TSMSConcatPart single(const std::string& aSender, const std::string& aText, int aMinute = 0) {
  return part(aSender, 0, 0, 0, aText, aMinute);
}

// One step: a part added (and what the collector says), or the clock looked at (and the
// messages it gives up on, as "sender:text").
struct TStep {
  bool Expire = false;
  TSMSConcatPart Part;
  TSMSConcatState State = csPending;
  std::string Completed; // with csComplete: "sender:text"
  int Minute = 0;        // Expire: now
  std::vector<std::string> Expired;
};

TStep add(TSMSConcatPart aPart, TSMSConcatState aState, std::string aCompleted = {}) {
  TStep step;
  step.Part = std::move(aPart);
  step.State = aState;
  step.Completed = std::move(aCompleted);
  return step;
}

TStep expire(int aMinute, std::vector<std::string> aExpired) {
  TStep step;
  step.Expire = true;
  step.Minute = aMinute;
  step.Expired = std::move(aExpired);
  return step;
}

struct TCollectCase {
  const char* Name;
  std::vector<TStep> Steps;
  std::size_t PendingAfter;
};

TEST(SMSConcatCollectorTest, CollectsPartsIntoWholeMessages) {
  const std::string a = "491711111111";
  const std::string b = "491722222222";
  const std::vector<TCollectCase> cases = {
      {"a single SMS passes at once", {add(single(a, "Hallo"), csComplete, a + ":Hallo")}, 0},
      {"in order",
       {add(part(a, 7, 3, 1, "Eins "), csPending), add(part(a, 7, 3, 2, "zwei "), csPending),
        add(part(a, 7, 3, 3, "drei"), csComplete, a + ":Eins zwei drei")},
       0},
      {"out of order",
       {add(part(a, 7, 3, 3, "drei"), csPending), add(part(a, 7, 3, 1, "Eins "), csPending),
        add(part(a, 7, 3, 2, "zwei "), csComplete, a + ":Eins zwei drei")},
       0},
      {"a duplicate is dropped, the first copy kept",
       {add(part(a, 7, 2, 1, "Eins "), csPending), add(part(a, 7, 2, 1, "EINS "), csDuplicate),
        add(part(a, 7, 2, 2, "zwei"), csComplete, a + ":Eins zwei")},
       0},
      {"one part of one is whole", {add(part(a, 9, 1, 1, "nur"), csComplete, a + ":nur")}, 0},
      {"a part numbered beyond its count stands alone",
       {add(part(a, 9, 2, 3, "drei"), csComplete, a + ":drei")},
       0},
      {"two senders, same reference, interleaved",
       {add(part(a, 7, 2, 2, "A2"), csPending), add(part(b, 7, 2, 1, "B1"), csPending),
        add(part(b, 7, 2, 2, "B2"), csComplete, b + ":B1B2"),
        add(part(a, 7, 2, 1, "A1"), csComplete, a + ":A1A2")},
       0},
      {"two references of one sender, interleaved",
       {add(part(a, 7, 2, 1, "x1"), csPending), add(part(a, 8, 2, 1, "y1"), csPending),
        add(part(a, 8, 2, 2, "y2"), csComplete, a + ":y1y2"),
        add(part(a, 7, 2, 2, "x2"), csComplete, a + ":x1x2")},
       0},
      {"8-bit and 16-bit references and part counts do not mix",
       {add(part(a, 7, 2, 1, "8a"), csPending), add(part(a, 7, 2, 2, "16b", 0, true), csPending),
        add(part(a, 7, 3, 2, "3b"), csPending),
        add(part(a, 7, 2, 1, "16a", 0, true), csComplete, a + ":16a16b")},
       2},
      {"a missing part until the time-out",
       {add(part(a, 7, 3, 1, "Eins ", 0), csPending), add(part(a, 7, 3, 3, "drei", 5), csPending),
        add(part(b, 1, 2, 1, "B1", 30), csPending), expire(60, {}), expire(61, {a + ":Eins drei"}),
        expire(91, {b + ":B1"}),
        // a late part starts a new message of its own
        add(part(a, 7, 3, 2, "zwei ", 92), csPending)},
       1},
      {"the longest waiting expires first",
       {add(part(b, 1, 2, 1, "B1", 10), csPending), add(part(a, 1, 2, 1, "A1", 5), csPending),
        expire(100, {a + ":A1", b + ":B1"})},
       0},
      {"parts added again after a restart: the time-out counts from the oldest",
       {add(part(a, 4, 3, 2, "zwei ", 50), csPending), add(part(a, 4, 3, 1, "Eins ", 0), csPending),
        expire(61, {a + ":Eins zwei "})},
       0},
  };
  for (const auto& testCase : cases) {
    TSMSConcatCollector collector;
    int stepNumber = 0;
    for (const auto& step : testCase.Steps) {
      ++stepNumber;
      if (step.Expire) {
        std::vector<std::string> expired;
        for (const auto& message : collector.takeExpired(at(step.Minute), minutes(60))) {
          EXPECT_FALSE(message.Complete) << testCase.Name << " step " << stepNumber;
          expired.push_back(message.Parts.front().Decoded.Address + ":" + message.Text);
        }
        EXPECT_EQ(expired, step.Expired) << testCase.Name << " step " << stepNumber;
        continue;
      }
      const TSMSConcatAdded added = collector.add(step.Part);
      EXPECT_EQ(added.State, step.State) << testCase.Name << " step " << stepNumber;
      if (added.State == csComplete) {
        EXPECT_TRUE(added.Message.Complete) << testCase.Name << " step " << stepNumber;
        EXPECT_EQ(added.Message.Parts.front().Decoded.Address + ":" + added.Message.Text,
                  step.Completed)
            << testCase.Name << " step " << stepNumber;
      }
    }
    EXPECT_EQ(collector.pendingMessages(), testCase.PendingAfter) << testCase.Name;
  }
}

TEST(SMSConcatCollectorTest, AWholeMessageKeepsItsPartsInOrder) {
  TSMSConcatCollector collector;
  collector.add(part("4917", 3, 3, 2, "b", 1));
  collector.add(part("4917", 3, 3, 3, "c", 2));
  const TSMSConcatAdded added = collector.add(part("4917", 3, 3, 1, "a", 3));
  ASSERT_EQ(added.State, csComplete);
  std::vector<std::string> pdus;
  for (const auto& kept : added.Message.Parts) {
    pdus.push_back(kept.PDU);
  }
  EXPECT_EQ(pdus, (std::vector<std::string>{"4917/a", "4917/b", "4917/c"}));
  EXPECT_EQ(added.Message.Parts[1].Received, at(1));
}

TEST(SMSConcatCollectorTest, JoinsPartsGivenAllAtOnce) {
  struct TJoinCase {
    const char* Name;
    std::vector<TSMSConcatPart> Parts;
    std::string Text;
    bool Complete;
  };
  const std::vector<TJoinCase> cases = {
      {"nothing", {}, "", false},
      {"shuffled with a duplicate",
       {part("1", 5, 3, 3, "c"), part("1", 5, 3, 1, "a"), part("1", 5, 3, 3, "C"),
        part("1", 5, 3, 2, "b")},
       "abc",
       true},
      {"a gap", {part("1", 5, 3, 1, "a"), part("1", 5, 3, 3, "c")}, "ac", false},
      {"a number beyond the count",
       {part("1", 5, 2, 1, "a"), part("1", 5, 2, 3, "c")},
       "ac",
       false},
      {"a single SMS", {single("1", "x")}, "x", true},
  };
  for (const auto& testCase : cases) {
    const TSMSConcatMessage message = joinSMSParts(testCase.Parts);
    EXPECT_EQ(message.Text, testCase.Text) << testCase.Name;
    EXPECT_EQ(message.Complete, testCase.Complete) << testCase.Name;
  }
}

} // namespace
