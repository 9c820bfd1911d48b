#include "tests/support/SmallDisk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

TSmallDisk::TSmallDisk(const std::string& aFolder, std::size_t aBytes) : fFolder(aFolder) {
  ::mkdir(aFolder.c_str(), 0777);
  const std::string options = "size=" + std::to_string(aBytes) + ",mode=0777";
  if (::mount("parlino-test", aFolder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
      0) {
    fError = std::string("cannot mount a tmpfs on ") + aFolder + ": " + std::strerror(errno);
    return;
  }
  fMounted = true;
}

TSmallDisk::~TSmallDisk() {
  if (fMounted) {
    ::umount2(fFolder.c_str(), MNT_DETACH);
  }
}

void TSmallDisk::fill() const {
  const int fd = ::open((fFolder + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) {
    return;
  }
  const std::string block(4096, 'x');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  // Less than a block may be left: take it byte by byte.
  while (::write(fd, "x", 1) > 0) {
  }
  ::close(fd);
}

} // namespace testsupport
