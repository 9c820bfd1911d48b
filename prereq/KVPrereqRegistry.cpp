#include "prereq/KVPrereqRegistry.h"

#include "common/TextEncoding.h"

TKVPrereqRegistry::TKVPrereqRegistry(TKVPrereqServices& aServices,
                                     const TKVPrereqFirebirdSettings& aSettings) {
  add(std::make_unique<TKVPrereqFirebirdSetup>(aServices, aSettings));
  add(std::make_unique<TKVPrereqFirebirdClientSetup>(aServices, aSettings));
}

void TKVPrereqRegistry::add(std::unique_ptr<TAbstractKVPrereq> aPrereq) {
  std::string command = aPrereq->getCommand();
  fPrereqs.emplace_back(std::move(command), std::move(aPrereq));
}

TAbstractKVPrereq* TKVPrereqRegistry::find(std::string_view aCommand) const {
  const std::string command = lowerAscii(std::string(aCommand));
  for (const auto& [word, prereq] : fPrereqs) {
    if (lowerAscii(word) == command) {
      return prereq.get();
    }
  }
  return nullptr;
}
