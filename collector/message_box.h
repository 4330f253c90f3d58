// The collector has no window: what would be a message box becomes one line,
// information on stdout and everything else on stderr.
#pragma once

#include <functional>
#include <string>

namespace vexa {

enum class BoxIcon { kNone, kInformation, kCritical };

using MessageBoxFn = std::function<void(const std::string& text, BoxIcon icon)>;

void PrintMessageBox(const std::string& text, BoxIcon icon);

}  // namespace vexa
