#include "prereq/KVPrereqRun.h"

#include "common/TextEncoding.h"
#include "prereq/KVPrereqCommandLine.h"

TKVPrereqRun::TKVPrereqRun(const std::vector<std::string>& aArguments)
    : fParams(parseCommandLine(aArguments)) {
  fAppName = commandLineValue(fParams, "app");
  if (fAppName.empty()) {
    fAppName = "<Unbekannt>";
  }
  fAutoClose = commandLineHasWord(fParams, "autoclose");
  fPreReqs = splitCommaText(commandLineValue(fParams, "prereqs"));
}

void TKVPrereqRun::check(TKVPrereqRegistry& aRegistry) {
  if (fChecked) {
    return;
  }
  fPreReqsToSolve.clear();
  for (const auto& preReq : fPreReqs) {
    const std::string word = lowerAscii(trimText(preReq));
    TAbstractKVPrereq* prereq = aRegistry.find(word);
    if (prereq != nullptr && !prereq->executeCheck({})) {
      fPreReqsToSolve.emplace_back(word, prereq);
    }
  }
  fChecked = true;
}

int TKVPrereqRun::AutoResolve() const {
  return commandLineInteger(fParams, "autoresolve", -1);
}

std::string TKVPrereqRun::AppInfoText() const {
  return "Das Programm " + fAppName + " benötigt die folgenden Voraussetzungen:";
}

void TKVPrereqRun::removeResolved(std::size_t aIndex) {
  if (aIndex < fPreReqsToSolve.size()) {
    fPreReqsToSolve.erase(fPreReqsToSolve.begin() + static_cast<std::ptrdiff_t>(aIndex));
  }
}
