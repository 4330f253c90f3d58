#include "settings/database_file_mode.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vexa::settings {

namespace {

constexpr const char* kJournalSuffixes[] = {"", "-wal", "-shm"};

}  // namespace

bool HoldsSecret(std::string_view community, std::string_view auth_password,
                 std::string_view priv_password) {
  return !community.empty() || !auth_password.empty() || !priv_password.empty();
}

bool HoldsSecret(const FieldTexts& record) {
  const auto it = record.find("GetComm");
  return (it != record.end() && !it->second.empty()) || HoldsPassword(record);
}

std::string RestrictDatabaseToOwner(const std::string& database_path) {
  for (const char* suffix : kJournalSuffixes) {
    const std::string path = database_path + suffix;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (*suffix != '\0' && errno == ENOENT) continue;
      return "could not read the permissions of " + path + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode))
      return path + " is a symbolic link; the permissions of what it points to were not changed";
    const mode_t owner_only = st.st_mode & (S_IRWXU | S_ISUID | S_ISGID | S_ISVTX);
    // Not open() and fchmod(): closing a descriptor of the database would drop
    // the locks an open connection of this process holds on it. fchmodat
    // without following a link pins the file itself all the same.
    if ((st.st_mode & 07777) != owner_only &&
        ::fchmodat(AT_FDCWD, path.c_str(), owner_only, AT_SYMLINK_NOFOLLOW) != 0)
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

std::string DatabaseExposure(const std::string& database_path) {
  for (const char* suffix : kJournalSuffixes) {
    const std::string path = database_path + suffix;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) == 0) continue;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return path + " holds a community or password and is open to group or others (mode " + mode +
           "); `vexa-arp set` or chmod 600 restricts it";
  }
  return "";
}

}  // namespace vexa::settings
