#pragma once

#include <string>
#include <string_view>

// The file system as the logic above sees it. Nothing here throws; failures carry errno.
namespace platform {

struct [[nodiscard]] TFileResult {
  bool ok = true;
  int error = 0; // errno of the failure
  explicit operator bool() const { return ok; }
  std::string message() const;
  static TFileResult failure(int aError) { return {false, aError}; }
};

// Backslashes of Windows-style option values become "/".
std::string nativePath(std::string_view aPath);

bool fileExists(const std::string& aPath);
bool directoryExists(const std::string& aPath);
// Creates the directory and its missing parents.
TFileResult forceDirectories(const std::string& aPath);
// The directory part of a path ("" when there is none).
std::string extractFileDir(const std::string& aPath);

// Appends aData in one write while holding an exclusive lock on the file, so that a second
// writer (another process appending the same file) fails instead of interleaving. Data that
// could be written only in part (a full disk) is cut off again: the file keeps whole records.
TFileResult appendToFileExclusive(const std::string& aPath, std::string_view aData);
// Writes a whole file, replacing one that exists.
TFileResult writeWholeFile(const std::string& aPath, std::string_view aData);
// Replaces a whole file at once: aData goes to "<aPath>.new", which is then renamed over
// aPath, so that a reader or a crash finds either the old or the new content.
TFileResult replaceFile(const std::string& aPath, std::string_view aData);
// Creates a new file with aData; fails with EEXIST when the name is taken (atomically). The
// data go to a temporary file in the same folder first, which gets the name only once it is
// complete: a failure (a full disk) leaves no file behind, neither empty nor cut.
TFileResult createNewFile(const std::string& aPath, std::string_view aData);
TFileResult readWholeFile(const std::string& aPath, std::string& aData);
// Renames; fails with EEXIST when the new name exists already.
TFileResult renameFile(const std::string& aOldName, const std::string& aNewName);
// Removes a file; one that does not exist counts as removed.
TFileResult removeFile(const std::string& aPath);
// Adds the execute permission for everyone who may read the file.
TFileResult makeExecutable(const std::string& aPath);
// Creates a new directory named aPrefix followed by six random characters, readable only by
// its owner (mkdtemp), and returns its path in aPath.
TFileResult createUniqueDirectory(const std::string& aPrefix, std::string& aPath);

} // namespace platform
