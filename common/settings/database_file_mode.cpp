#include "settings/database_file_mode.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vexa::settings {

std::string RestrictDatabaseToOwner(const std::string& database_path) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const std::string path = database_path + suffix;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      if (*suffix != '\0' && errno == ENOENT) continue;
      return "could not read the permissions of " + path + ": " + std::strerror(errno);
    }
    const mode_t owner_only = st.st_mode & (S_IRWXU | S_ISUID | S_ISGID | S_ISVTX);
    if ((st.st_mode & 07777) != owner_only && ::chmod(path.c_str(), owner_only) != 0)
      return "could not make " + path + " readable by its owner only: " + std::strerror(errno);
  }
  struct stat file {};
  struct stat folder {};
  const std::string parent = std::filesystem::path(database_path).parent_path().string();
  if (::stat(database_path.c_str(), &file) == 0 &&
      ::stat(parent.empty() ? "." : parent.c_str(), &folder) == 0 && file.st_uid != folder.st_uid)
    return database_path + " belongs to user " + std::to_string(file.st_uid) +
           ", the program folder to user " + std::to_string(folder.st_uid) +
           ", whom the service runs as: it cannot read the database now that only its owner may "
           "(chown " +
           std::to_string(folder.st_uid) + " the database to mend it)";
  return "";
}

}  // namespace vexa::settings
