#include "modem/SMSConcatCollector.h"

#include <algorithm>
#include <utility>

TSMSConcatMessage joinSMSParts(std::vector<TSMSConcatPart> aParts) {
  TSMSConcatMessage message;
  if (aParts.empty()) {
    return message;
  }
  const int total = aParts.front().Decoded.Concat.Total;
  std::stable_sort(aParts.begin(), aParts.end(), [](const auto& a, const auto& b) {
    return a.Decoded.Concat.Number < b.Decoded.Concat.Number;
  });
  for (auto& part : aParts) {
    if (!message.Parts.empty() &&
        message.Parts.back().Decoded.Concat.Number == part.Decoded.Concat.Number) {
      continue;
    }
    message.Text += part.Decoded.Message;
    message.Parts.push_back(std::move(part));
  }
  if (total == 0) {
    message.Complete = message.Parts.size() == 1;
  } else {
    message.Complete = message.Parts.size() == static_cast<std::size_t>(total) &&
                       message.Parts.front().Decoded.Concat.Number == 1 &&
                       message.Parts.back().Decoded.Concat.Number == total;
  }
  return message;
}

TSMSConcatAdded TSMSConcatCollector::add(TSMSConcatPart aPart) {
  TSMSConcatAdded added;
  const TSMSConcatInfo concat = aPart.Decoded.Concat;
  if (!concat.isPart() || concat.Number < 1 || concat.Number > concat.Total) {
    added.State = csComplete;
    added.Message.Text = aPart.Decoded.Message;
    added.Message.Parts.push_back(std::move(aPart));
    added.Message.Complete = true;
    return added;
  }
  const TKey key{aPart.Decoded.Address, concat.WideReference, concat.Reference, concat.Total};
  auto [entry, created] = fPending.try_emplace(key);
  TPending& pending = entry->second;
  if (created || aPart.Received < pending.FirstReceived) {
    pending.FirstReceived = aPart.Received;
  }
  if (!pending.Parts.try_emplace(concat.Number, std::move(aPart)).second) {
    added.State = csDuplicate;
    return added;
  }
  if (pending.Parts.size() < static_cast<std::size_t>(concat.Total)) {
    added.State = csPending;
    return added;
  }
  std::vector<TSMSConcatPart> parts;
  parts.reserve(pending.Parts.size());
  for (auto& [number, part] : pending.Parts) {
    parts.push_back(std::move(part));
  }
  fPending.erase(entry);
  added.State = csComplete;
  added.Message = joinSMSParts(std::move(parts));
  return added;
}

std::vector<TSMSConcatMessage>
TSMSConcatCollector::takeExpired(TDateTime aNow, std::chrono::milliseconds aTimeout) {
  std::vector<std::pair<TDateTime, TKey>> expired;
  for (const auto& [key, pending] : fPending) {
    if (pending.FirstReceived.addMilliseconds(aTimeout.count()) < aNow) {
      expired.emplace_back(pending.FirstReceived, key);
    }
  }
  std::stable_sort(expired.begin(), expired.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TSMSConcatMessage> messages;
  messages.reserve(expired.size());
  for (const auto& [first, key] : expired) {
    const auto entry = fPending.find(key);
    std::vector<TSMSConcatPart> parts;
    for (auto& [number, part] : entry->second.Parts) {
      parts.push_back(std::move(part));
    }
    fPending.erase(entry);
    messages.push_back(joinSMSParts(std::move(parts)));
  }
  return messages;
}
