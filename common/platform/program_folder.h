// Where the running program lives. Every file of an installation is named
// from the folder of the executable, never from the current directory.
#pragma once

#include <string>

namespace vexa {

// Absolute path of the running executable (/proc/self/exe). Throws
// std::system_error when it cannot be read.
std::string ExecutablePath();
// Folder of the running executable, without a trailing slash ("/" at the root).
std::string ExecutableFolder();
// Folder part of a path, same rules as ExecutableFolder.
std::string FolderOf(const std::string& path);

// Holds an exclusive lock on a file for the life of the process, the mark
// that an instance of a program is running. Acquire() returns false when
// another process holds it.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Throws std::system_error when the file cannot be opened.
  bool Acquire(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace vexa
