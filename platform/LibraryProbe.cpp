#include "platform/LibraryProbe.h"

#include <dlfcn.h>

namespace platform {
namespace {

class TDlopenLibraryProbe : public ILibraryProbe {
public:
  bool canLoad(const std::string& aName) override {
    // RTLD_NOW resolves every symbol now, so a library with a missing dependency counts as
    // not loadable instead of failing later. The handle is kept on purpose (see the header).
    return dlopen(aName.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
  }
};

} // namespace

std::unique_ptr<ILibraryProbe> createDlopenLibraryProbe() {
  return std::make_unique<TDlopenLibraryProbe>();
}

} // namespace platform
