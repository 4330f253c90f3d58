#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace vexa {

int WriteFully(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return 0;
}

int AppendToFile(const std::string& path, std::string_view data, mode_t mode) {
  // O_NONBLOCK: a FIFO put in the file's place fails at once instead of
  // holding the caller until someone reads it.
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
  if (fd < 0) return errno;
  int err = WriteFully(fd, data);
  if (::close(fd) != 0 && err == 0) err = errno;
  return err;
}

namespace {

// Six random letters or digits for a temporary name.
std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet: the clock and the pid still differ between tries.
    uint64_t seed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(::getpid()) << 32);
    for (unsigned char& b : bytes) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      b = static_cast<unsigned char>(seed >> 56);
    }
  }
  std::string suffix;
  for (const unsigned char b : bytes) suffix += kChars[b % (sizeof kChars - 1)];
  return suffix;
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, mode_t mode) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name_.empty() || name_ == "." || name_ == "..") {
    Fail(EISDIR);
    return;
  }
  folder_fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd_ < 0) {
    Fail(errno);
    return;
  }
  struct stat st {};
  if (::fstatat(folder_fd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    Fail(EISDIR);
    return;
  }
  // A hidden name beside the file, short enough for any file name.
  const std::string stem = "." + name_.substr(0, 200) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_name_ = stem + RandomSuffix();
    fd_ = ::openat(folder_fd_, temp_name_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_name_.clear();
    Fail(errno);
  }
}

FileReplacement::~FileReplacement() {
  Discard();
  if (folder_fd_ >= 0) ::close(folder_fd_);
}

int FileReplacement::Fail(int err) {
  if (error_ == 0) error_ = err;
  return error_;
}

void FileReplacement::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_name_.empty()) ::unlinkat(folder_fd_, temp_name_.c_str(), 0);
  temp_name_.clear();
}

int FileReplacement::Write(std::string_view data) {
  if (error_ != 0) return error_;
  if (const int err = WriteFully(fd_, data)) return Fail(err);
  return 0;
}

int FileReplacement::SetMode(mode_t mode) {
  if (error_ != 0) return error_;
  if (::fchmod(fd_, mode) != 0) return Fail(errno);
  return 0;
}

int FileReplacement::Commit() {
  if (error_ != 0) return error_;
  if (::fsync(fd_) != 0) return Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(errno);
  if (::renameat(folder_fd_, temp_name_.c_str(), folder_fd_, name_.c_str()) != 0)
    return Fail(errno);
  temp_name_.clear();
  ::fsync(folder_fd_);  // the rename itself on disk; the file is whole either way
  return 0;
}

int ReplaceFile(const std::string& path, std::string_view data, mode_t mode) {
  FileReplacement file(path, mode);
  file.Write(data);
  return file.Commit();
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
    if (out.size() > limit) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return out;
}

int MakeDirectories(const std::string& path) {
  if (path.empty()) return ENOENT;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> MatchFiles(const std::string& folder, const std::string& pattern,
                                    bool ignore_case) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  const int flags = ignore_case ? FNM_CASEFOLD : 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(pattern.c_str(), name.c_str(), flags) != 0) continue;
    struct stat st {};
    if (::lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace vexa
