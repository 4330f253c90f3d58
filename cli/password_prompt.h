// A password typed on a terminal: read with echo off, the terminal given back
// as it was on every way out, a signal included.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace vexa::cli {

// Writes `prompt` to `err` and reads one line from the terminal `fd` with its
// echo turned off; nullopt at the end of input before a line. The settings
// of the terminal are restored before it returns, and by a stop, interrupt,
// hang-up or quit signal that arrives meanwhile, which then takes its course
// (after a stop and continue, the prompt starts again). Throws CliError when
// `fd` cannot be read.
std::optional<std::string> ReadPasswordFromTerminal(int fd, const std::string& prompt,
                                                    std::ostream& err);

}  // namespace vexa::cli
