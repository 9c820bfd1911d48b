#pragma once

#include "platform/Locks.h"

#include <set>
#include <string>
#include <vector>

// The PDUs of received SMS that the received event has stored and that are still in the
// modem: a message read again while its PDU is listed here was stored before, so it is
// deleted instead of being reported a second time. The PDU (sender, service-centre time
// stamp to the second, text) tells one SMS from another.
//
// With a file the list survives the program: every change is appended as a line "+<PDU>"
// or "-<PDU>", so a crash between storing a message and deleting it from the modem loses
// nothing; loading replays the lines and writes the file anew. Without a file it lives in
// memory only (a deletion that failed is still not stored twice).
//
// Any thread; fCSJournal is a leaf. File errors are logged (module "smsmodem") and the list
// in memory goes on.
class TVTStoredSMSJournal {
public:
  // Loads aFileName (a missing file is an empty list) and writes to it from now on; the
  // empty name keeps the list in memory.
  void setFileName(const std::string& aFileName) EXCLUDES(fCSJournal);
  std::string getFileName() const EXCLUDES(fCSJournal);

  bool contains(const std::string& aPdu) const EXCLUDES(fCSJournal);
  void add(const std::string& aPdu) EXCLUDES(fCSJournal);
  void remove(const std::string& aPdu) EXCLUDES(fCSJournal);
  // Forgets every PDU that aPresent (a full listing of the modem) does not hold any more.
  void retainOnly(const std::vector<std::string>& aPresent) EXCLUDES(fCSJournal);
  std::size_t size() const EXCLUDES(fCSJournal);

private:
  void append(const std::string& aLine) REQUIRES(fCSJournal);
  void rewrite() REQUIRES(fCSJournal);

  mutable TCriticalSection fCSJournal;
  std::set<std::string> fPdus GUARDED_BY(fCSJournal);
  std::string fFileName GUARDED_BY(fCSJournal);
};
