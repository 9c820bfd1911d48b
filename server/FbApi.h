#pragma once

// The Firebird client library's OO API for the sources of our database layer; headers of the
// layer do not include it.
#include "server/FbError.h"

#include <firebird/Interface.h>

#include <string>

namespace fb {

// The library's master and utility interfaces; they live as long as the program.
Firebird::IMaster* master();
Firebird::IUtil* util();

// A status vector for library calls. throwIfFailed raises the errors it holds as an EFbError
// with the library's message text and clears it for the next call.
class TStatus {
public:
  TStatus();
  ~TStatus();
  TStatus(const TStatus&) = delete;
  TStatus& operator=(const TStatus&) = delete;

  Firebird::CheckStatusWrapper* get() { return &fWrapper; }
  void throwIfFailed();
  bool failed() const;

private:
  Firebird::IStatus* fStatus;
  Firebird::CheckStatusWrapper fWrapper;
};

// Firebird's date is the day count since 1858-11-17, its time of day counts 1/10000 s.
ISC_TIMESTAMP toTimestamp(long long aMillisSince1899);
long long fromTimestamp(const ISC_TIMESTAMP& aTimestamp);

} // namespace fb
