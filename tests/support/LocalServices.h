#pragma once

#include <string>

// What tests and benchmarks need of this machine to run servers next to them. Not part of
// the product.
namespace testsupport {

// A port on 127.0.0.1 that was free a moment ago (0 when none could be bound), for a server
// that a test or benchmark is about to start in another process.
int freeLoopbackPort();

// The SYSDBA password of the Firebird server on this machine: $PARLINO_FB_PASSWORD when set
// and not empty, else the ISC_PASSWORD of the file Debian's package writes
// (/etc/firebird/3.0/SYSDBA.password), else "masterkey".
std::string localServerPassword();

} // namespace testsupport
