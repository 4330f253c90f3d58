// Small file operations that report failure as an errno value instead of
// throwing: appending a whole line in one write, replacing a file atomically,
// reading a small file, deleting files by a wildcard pattern. Writes never
// follow a symbolic link at the end of the path: root writes into folders
// that others may be able to plant links in.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Writes all of `data` to `fd`, resuming after short writes and signals.
// Returns 0 or errno.
int WriteFully(int fd, std::string_view data);

// Opens `path` for appending, writes `data` in one write and closes it. A
// missing file is created with `mode` (less the umask); a symbolic link at
// `path` is not followed (ELOOP). Returns 0 or errno.
int AppendToFile(const std::string& path, std::string_view data, mode_t mode = 0600);

// A new version of the file at `path`, written under a unique temporary name
// in the same folder and renamed over `path` once complete: a reader sees the
// old file or the whole new one, never a part, and a symbolic link at `path`
// is replaced, never written through. Until Commit() succeeds, the temporary
// file is removed when the object goes.
class FileReplacement {
 public:
  // Creates the temporary file (O_EXCL) with `mode` less the umask. A
  // directory at `path` fails here (EISDIR) rather than at the rename.
  FileReplacement(const std::string& path, mode_t mode);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // 0, or the errno of the creation or of the first failed operation.
  int error() const { return error_; }
  // The folder the file is renamed in, open, and the file's name in it.
  int folder_fd() const { return folder_fd_; }
  const std::string& name() const { return name_; }

  int Write(std::string_view data);
  // Gives the new file exactly `mode`, the umask aside.
  int SetMode(mode_t mode);
  // Flushes the file to disk and renames it over `path`. Returns 0 or errno.
  int Commit();

 private:
  int Fail(int err);
  void Discard();

  int error_ = 0;
  int folder_fd_ = -1;
  int fd_ = -1;
  std::string name_;
  std::string temp_name_;
};

// Replaces the file at `path` with `data` through a FileReplacement.
int ReplaceFile(const std::string& path, std::string_view data, mode_t mode = 0644);

// Whole contents of a regular file of at most `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit = 1 << 20);

// Creates `path` and its missing parents. Returns 0 or errno.
int MakeDirectories(const std::string& path);

bool FileExists(const std::string& path);

// Names (not paths) of the non-directory entries of `folder` matching a shell wildcard,
// case-insensitively when asked. Empty when the folder cannot be read.
std::vector<std::string> MatchFiles(const std::string& folder, const std::string& pattern,
                                    bool ignore_case);

}  // namespace vexa
