#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// An error of the Firebird client library or of our layer above it. The message is the
// library's own text (its lines separated by line feeds); the codes are 0 for our own errors.
// isConnectionLost: one of the library's codes says that the connection to the database is
// gone (a network error, a server that shut down or cut the attachment), so that nothing more
// can be done on it.
class EFbError : public std::runtime_error {
public:
  explicit EFbError(const std::string& aMessage, int aSQLCode = 0, long aGDSCode = 0,
                    bool aConnectionLost = false)
      : std::runtime_error(aMessage), fSQLCode(aSQLCode), fGDSCode(aGDSCode),
        fConnectionLost(aConnectionLost) {}
  int getSQLCode() const { return fSQLCode; }
  long getGDSCode() const { return fGDSCode; }
  bool isConnectionLost() const { return fConnectionLost; }

private:
  int fSQLCode;
  long fGDSCode;
  bool fConnectionLost;
};
