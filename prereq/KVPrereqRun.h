#pragma once

#include "prereq/AbstractKVPrereq.h"
#include "prereq/KVPrereqRegistry.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// One run of the prerequisites tool without its window: the command line, the product's
// name, the requested prerequisites and those of them that are not satisfied, in the order
// of the window's rows (row i is entry i). The program runs the checks before it opens a
// window, so that nothing graphical starts when "autoclose" finds nothing missing.
// Window thread only; the prerequisites belong to the registry.
class TKVPrereqRun {
public:
  using TPrereqToSolve = std::pair<std::string, TAbstractKVPrereq*>; // command word, non-owning

  explicit TKVPrereqRun(const std::vector<std::string>& aArguments);

  // Checks each requested prerequisite in order, once; words the registry does not know are
  // left out. Errors of a check (EKVPrereqError) reach the caller.
  void check(TKVPrereqRegistry& aRegistry);
  bool Checked() const { return fChecked; }

  const std::vector<std::string>& Params() const { return fParams; }
  const std::string& AppName() const { return fAppName; }
  const std::vector<std::string>& PreReqs() const { return fPreReqs; }
  const std::vector<TPrereqToSolve>& PreReqsToSolve() const { return fPreReqsToSolve; }
  bool AutoClose() const { return fAutoClose; }
  // "autoresolve=" as a number, -1 when absent or no number. It changes nothing.
  int AutoResolve() const;

  // The information line above the list.
  std::string AppInfoText() const;
  // Nothing to resolve and "autoclose" given: the program ends without a window.
  bool EndsAtOnce() const { return fChecked && fPreReqsToSolve.empty() && fAutoClose; }
  // Removes the entry of a resolved row.
  void removeResolved(std::size_t aIndex);

private:
  std::vector<std::string> fParams;
  std::string fAppName;
  std::vector<std::string> fPreReqs;
  std::vector<TPrereqToSolve> fPreReqsToSolve;
  bool fAutoClose = false;
  bool fChecked = false;
};
