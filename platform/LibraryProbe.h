#pragma once

#include <memory>
#include <string>

// Whether a shared library can be loaded by name through the system's normal library search.
// Nothing here throws.
namespace platform {

class ILibraryProbe {
public:
  virtual ~ILibraryProbe() = default;
  // True when aName ("libfbclient.so.2") loads with all its dependencies.
  virtual bool canLoad(const std::string& aName) = 0;
};

// dlopen. A library that loaded stays loaded for the rest of the process: unloading one that
// registered exit handlers or started threads is not safe.
std::unique_ptr<ILibraryProbe> createDlopenLibraryProbe();

} // namespace platform
