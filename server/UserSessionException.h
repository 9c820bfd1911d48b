#pragma once

#include <stdexcept>

// Raised by the database connect and disconnect of the core; the caller logs its message and
// goes on.
class EKVLSUserSessionException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
