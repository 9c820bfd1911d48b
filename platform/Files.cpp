#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {
namespace {

// Owns one open file descriptor.
class TFileDescriptor {
public:
  explicit TFileDescriptor(int aFd) : fFd(aFd) {}
  ~TFileDescriptor() {
    if (fFd >= 0) {
      ::close(fFd);
    }
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int get() const { return fFd; }
  bool valid() const { return fFd >= 0; }

private:
  int fFd;
};

TFileResult writeAll(int aFd, std::string_view aData) {
  while (!aData.empty()) {
    const ssize_t written = ::write(aFd, aData.data(), aData.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return TFileResult::failure(errno);
    }
    aData.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

} // namespace

std::string TFileResult::message() const {
  return ok ? std::string() : std::string(std::strerror(error));
}

std::string nativePath(std::string_view aPath) {
  std::string path(aPath);
  for (char& c : path) {
    if (c == '\\') {
      c = '/';
    }
  }
  return path;
}

bool fileExists(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TFileResult forceDirectories(const std::string& aPath) {
  if (aPath.empty() || directoryExists(aPath)) {
    return {};
  }
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = aPath.find('/', pos + 1);
    partial = aPath.substr(0, pos);
    if (partial.empty() || directoryExists(partial)) {
      continue;
    }
    if (::mkdir(partial.c_str(), 0775) != 0 && errno != EEXIST) {
      return TFileResult::failure(errno);
    }
  }
  return directoryExists(aPath) ? TFileResult{} : TFileResult::failure(ENOTDIR);
}

std::string extractFileDir(const std::string& aPath) {
  const auto slash = aPath.rfind('/');
  if (slash == std::string::npos) {
    return {};
  }
  return slash == 0 ? std::string("/") : aPath.substr(0, slash);
}

TFileResult appendToFileExclusive(const std::string& aPath, std::string_view aData) {
  TFileDescriptor fd(::open(aPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664));
  if (!fd.valid()) {
    return TFileResult::failure(errno);
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    return TFileResult::failure(errno);
  }
  // Other appenders wait for the lock, so the end found now is where these bytes begin.
  const off_t end = ::lseek(fd.get(), 0, SEEK_END);
  const TFileResult written = writeAll(fd.get(), aData);
  if (!written && end >= 0) {
    // A full disk may take part of the data: cut it off, so that the next append does not
    // continue a broken record.
    [[maybe_unused]] const int cut = ::ftruncate(fd.get(), end);
  }
  return written; // closing the descriptor releases the lock
}

TFileResult writeWholeFile(const std::string& aPath, std::string_view aData) {
  TFileDescriptor fd(::open(aPath.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0664));
  if (!fd.valid()) {
    return TFileResult::failure(errno);
  }
  return writeAll(fd.get(), aData);
}

TFileResult replaceFile(const std::string& aPath, std::string_view aData) {
  const std::string temporary = aPath + ".new";
  if (const TFileResult written = writeWholeFile(temporary, aData); !written) {
    ::unlink(temporary.c_str()); // no cut copy is left lying about
    return written;
  }
  if (::rename(temporary.c_str(), aPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return TFileResult::failure(error);
  }
  return {};
}

TFileResult createNewFile(const std::string& aPath, std::string_view aData) {
  // Written under a temporary name and given its own name only when complete, so that no
  // reader and no crash ever sees the file empty or cut.
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int opened = -1;
  do {
    temporary = aPath + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    opened = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
  } while (opened < 0 && errno == EEXIST);
  TFileDescriptor fd(opened);
  if (!fd.valid()) {
    return TFileResult::failure(errno);
  }
  TFileResult result = writeAll(fd.get(), aData);
  if (result &&
      ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, aPath.c_str(), RENAME_NOREPLACE) != 0) {
    result = TFileResult::failure(errno);
  }
  if (!result) {
    ::unlink(temporary.c_str());
  }
  return result;
}

TFileResult readWholeFile(const std::string& aPath, std::string& aData) {
  TFileDescriptor fd(::open(aPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    return TFileResult::failure(errno);
  }
  aData.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return TFileResult::failure(errno);
    }
    if (got == 0) {
      return {};
    }
    aData.append(buffer, static_cast<std::size_t>(got));
  }
}

TFileResult renameFile(const std::string& aOldName, const std::string& aNewName) {
  if (::renameat2(AT_FDCWD, aOldName.c_str(), AT_FDCWD, aNewName.c_str(), RENAME_NOREPLACE) != 0) {
    return TFileResult::failure(errno);
  }
  return {};
}

TFileResult removeFile(const std::string& aPath) {
  if (::unlink(aPath.c_str()) != 0 && errno != ENOENT) {
    return TFileResult::failure(errno);
  }
  return {};
}

TFileResult makeExecutable(const std::string& aPath) {
  struct stat st {};
  if (::stat(aPath.c_str(), &st) != 0) {
    return TFileResult::failure(errno);
  }
  const mode_t readable = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  if (::chmod(aPath.c_str(), (st.st_mode & 07777) | S_IXUSR | (readable >> 2)) != 0) {
    return TFileResult::failure(errno);
  }
  return {};
}

TFileResult createUniqueDirectory(const std::string& aPrefix, std::string& aPath) {
  std::string pattern = aPrefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    return TFileResult::failure(errno);
  }
  aPath = pattern;
  return {};
}

} // namespace platform
