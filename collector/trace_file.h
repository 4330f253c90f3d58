// Appending to one of the trace files of the Debug folder. Each write opens,
// appends and closes; a write that fails throws, naming the file, so the
// caller's own error path reports it.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "platform/files.h"

namespace vexa {

inline void AppendTrace(const std::string& path, std::string_view text) {
  if (const int err = AppendToFile(path, text))
    throw std::system_error(err, std::generic_category(), "Could not write " + path);
}

}  // namespace vexa
