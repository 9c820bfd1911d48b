#pragma once

#include "prereq/AbstractKVPrereq.h"
#include "prereq/KVPrereqFirebirdSetup.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The prerequisites the tool knows, by command word: "firebird" and "firebirdclient". Built
// once at program start and kept for the whole run; owns its prerequisites, which rows of the
// window and TKVPrereqRun refer to. Window thread only.
class TKVPrereqRegistry {
public:
  TKVPrereqRegistry(TKVPrereqServices& aServices, const TKVPrereqFirebirdSettings& aSettings);
  TKVPrereqRegistry(const TKVPrereqRegistry&) = delete;
  TKVPrereqRegistry& operator=(const TKVPrereqRegistry&) = delete;

  // Registers aPrereq under its getCommand().
  void add(std::unique_ptr<TAbstractKVPrereq> aPrereq);
  // The prerequisite of a command word in any case; nullptr for a word it does not know.
  TAbstractKVPrereq* find(std::string_view aCommand) const;

private:
  std::vector<std::pair<std::string, std::unique_ptr<TAbstractKVPrereq>>> fPrereqs;
};
