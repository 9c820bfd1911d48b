#pragma once

#include <cstddef>
#include <string>

// Bytes from the kernel's cryptographic random source, for secrets such as session tokens.
namespace platform {

struct [[nodiscard]] TRandomResult {
  bool ok = true;
  int error = 0; // errno of the failure
  explicit operator bool() const { return ok; }
};

// Fills aBuffer with aSize bytes from getrandom(2), falling back to /dev/urandom where the
// call is missing. Blocks only until the kernel's pool is initialised (early at boot).
TRandomResult cryptoRandomBytes(void* aBuffer, std::size_t aSize);

// aByteCount random bytes as 2 * aByteCount lower-case hexadecimal digits; empty on failure.
std::string cryptoRandomHex(std::size_t aByteCount);

} // namespace platform
