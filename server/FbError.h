#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// An error of the Firebird client library or of our layer above it. The message is the
// library's own text (its lines separated by line feeds); the codes are 0 for our own errors.
class EFbError : public std::runtime_error {
public:
  explicit EFbError(const std::string& aMessage, int aSQLCode = 0, long aGDSCode = 0)
      : std::runtime_error(aMessage), fSQLCode(aSQLCode), fGDSCode(aGDSCode) {}
  int getSQLCode() const { return fSQLCode; }
  long getGDSCode() const { return fGDSCode; }

private:
  int fSQLCode;
  long fGDSCode;
};
