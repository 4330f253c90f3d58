// Small file operations that report failure as an errno value instead of
// throwing: appending a whole line in one write, replacing a file atomically,
// reading a small file, deleting files by a wildcard pattern.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Writes all of `data` to `fd`, resuming after short writes and signals.
// Returns 0 or errno.
int WriteFully(int fd, std::string_view data);

// Opens `path` for appending (created when missing, mode 0644), writes `data`
// in one write and closes it. Returns 0 or errno.
int AppendToFile(const std::string& path, std::string_view data);

// Writes `data` to a temporary file beside `path` and renames it over `path`.
int ReplaceFile(const std::string& path, std::string_view data);

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
