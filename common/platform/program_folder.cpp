#include "platform/program_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace vexa {

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n < 0) throw std::system_error(errno, std::generic_category(), "readlink /proc/self/exe");
  if (static_cast<size_t>(n) >= buf.size())
    throw std::system_error(ENAMETOOLONG, std::generic_category(), "readlink /proc/self/exe");
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ExecutableFolder() {
  return FolderOf(ExecutablePath());
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool InstanceLock::Acquire(const std::string& path) {
  if (fd_ >= 0) return true;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return false;
    throw std::system_error(err, std::generic_category(), "flock " + path);
  }
  fd_ = fd;
  return true;
}

}  // namespace vexa
