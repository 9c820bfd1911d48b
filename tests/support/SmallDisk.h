#pragma once

#include <cstddef>
#include <string>

// A tiny file system of its own (tmpfs) mounted on a folder, to see what the gateway does
// when a disk is full. Mounting needs the right to mount (root); without it mounted() is
// false and the test skips. Not part of the product.
namespace testsupport {

class TSmallDisk {
public:
  // Mounts a tmpfs of aBytes on aFolder (made when missing).
  TSmallDisk(const std::string& aFolder, std::size_t aBytes);
  ~TSmallDisk(); // unmounts (lazily, should a file still be open)
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;

  bool mounted() const { return fMounted; }
  const std::string& folder() const { return fFolder; }
  // Why it could not be mounted.
  const std::string& error() const { return fError; }
  // Fills what is left with one file, so that the next write fails with ENOSPC.
  void fill() const;

private:
  std::string fFolder;
  bool fMounted = false;
  std::string fError;
};

} // namespace testsupport
