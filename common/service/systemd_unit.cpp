#include "service/systemd_unit.h"

#include <climits>
#include <string_view>

#include "service/service_manager.h"

namespace vexa {

namespace {

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xe0) == 0xc0) {
      len = 2;
      cp = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
      len = 3;
      cp = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3f);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    i += len;
  }
  return true;
}

std::string PathProblem(const std::string& path) {
  if (path.empty() || path[0] != '/') return "is not an absolute path";
  if (path.size() >= PATH_MAX) return "is too long";
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return "contains a line break or another control character";
  if (!IsValidUtf8(path)) return "is not valid UTF-8";
  const std::string_view p(path);
  if (p.find("//") != p.npos || p.find("/./") != p.npos || p.find("/../") != p.npos ||
      p.ends_with("/.") || p.ends_with("/..") || (p.size() > 1 && p.ends_with('/')))
    return "is not a normalized path (\".\" or \"..\" parts, or a doubled or trailing \"/\")";
  return {};
}

bool IsUnder(std::string_view path, std::string_view top) {
  return path == top || (path.starts_with(top) && path[top.size()] == '/');
}

// systemd refuses quotes, backslashes and control characters in the name of
// the program to run (they may still appear in its arguments).
bool SafeAsExecutable(std::string_view path) {
  return path.find_first_of("\"'\\") == path.npos;
}

// A double-quoted word of a unit line: C escapes for quotes and backslashes,
// "%%" for the specifier sign, "$$" where variables are expanded (arguments of
// ExecStart=), "\:" where a colon separates paths (BindPaths=).
std::string Quoted(std::string_view s, bool expands_variables = false,
                   bool colon_separates = false) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    if (c == '$' && expands_variables) out += '$';
    if (c == ':' && colon_separates) out += '\\';
    out += c;
  }
  return out + "\"";
}

// A path taken literally to the end of the line (WorkingDirectory=): only
// specifiers are expanded there.
std::string Literal(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

// A path as one line of text: control characters and bytes of broken UTF-8
// shown as escapes.
std::string Printable(std::string_view path) {
  const bool utf8 = IsValidUtf8(path);
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (u < 0x20 || u == 0x7f || (u >= 0x80 && !utf8)) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string SystemdUnitPathProblem(const std::string& program, const std::string& folder) {
  const char* const kCannot = ": systemd cannot run a service from there";
  std::string problem = PathProblem(folder);
  if (problem.empty() && folder.ends_with(' ')) problem = "ends with a blank";
  // WorkingDirectory= takes the rest of its line, where a final backslash
  // would join the next line to the path.
  if (problem.empty() && folder.ends_with('\\')) problem = "ends with a backslash";
  if (!problem.empty())
    return "The program folder \"" + Printable(folder) + "\" " + problem + kCannot;
  problem = PathProblem(program);
  if (!problem.empty())
    return "The program path \"" + Printable(program) + "\" " + problem + kCannot;
  return {};
}

std::string MetricsFolderToWrite(const std::string& metrics_file, const std::string& folder) {
  const size_t slash = metrics_file.rfind('/');
  if (slash == std::string::npos || slash == 0) return {};
  const std::string metrics_folder = metrics_file.substr(0, slash);
  if (!PathProblem(metrics_folder).empty() || IsUnder(metrics_folder, folder)) return {};
  return metrics_folder;
}

std::string SystemdUnitText(const std::string& program, const std::string& folder, uid_t user,
                            gid_t group, const std::string& metrics_folder) {
  // A program path systemd will not run directly is handed to env as an argument.
  const std::string exec_start =
      SafeAsExecutable(program) ? Quoted(program) : "/usr/bin/env -- " + Quoted(program, true);
  const bool in_home =
      IsUnder(folder, "/home") || IsUnder(folder, "/root") || IsUnder(folder, "/run/user");
  const bool in_tmp = IsUnder(folder, "/tmp") || IsUnder(folder, "/var/tmp");

  std::string unit =
      "[Unit]\n"
      "Description=" +
      std::string(kServiceName) +
      "\n"
      "Wants=network-online.target\n"
      "After=network-online.target\n"
      "\n"
      "[Service]\n"
      "Type=exec\n";
  // User= and Group= before the paths: should a path ever carry its line on
  // into the next, it cannot take the user with it.
  if (user != 0) unit += "User=" + std::to_string(user) + "\nGroup=" + std::to_string(group) + "\n";
  unit += "ExecStart=" + exec_start + "\nWorkingDirectory=" + Literal(folder) + "\n";
  unit +=
      "KillSignal=SIGTERM\n"
      "TimeoutStopSec=" +
      std::to_string(kServiceStopTimeoutSeconds) +
      "\n"
      // Files it makes are its owner's alone, and a crash leaves no core
      // file holding the SNMPv3 keys.
      "UMask=0077\n"
      "LimitCORE=0\n"
      "\n"
      "# The collector reads and writes its folder, sends UDP (SNMP, DNS) and reads\n"
      "# /etc/hosts and /etc/resolv.conf; nothing else.\n"
      "ProtectSystem=strict\n"
      "ReadWritePaths=" +
      Quoted(folder) + "\n";
  // The folder of the metrics file ("-": a folder missing at the start is no
  // failure of the start; the write is logged instead).
  if (!metrics_folder.empty()) unit += "ReadWritePaths=" + Quoted("-" + metrics_folder) + "\n";
  // Homes stay hidden behind an empty tmpfs, with the program folder bound back in.
  unit += in_home ? "ProtectHome=tmpfs\nBindPaths=" + Quoted(folder, false, true) + "\n"
                  : std::string("ProtectHome=yes\n");
  // A private /tmp would hide a folder that lies in it.
  unit += in_tmp ? "PrivateTmp=no\n" : "PrivateTmp=yes\n";
  unit +=
      "PrivateDevices=yes\n"
      "PrivateUsers=yes\n"
      "PrivateIPC=yes\n"
      "NoNewPrivileges=yes\n"
      "CapabilityBoundingSet=\n"
      "AmbientCapabilities=\n"
      "RestrictAddressFamilies=AF_INET AF_INET6\n"
      // The collector makes none of the privileged or resource calls that
      // @system-service still allows; a stray one fails rather than kills.
      "SystemCallFilter=@system-service\n"
      "SystemCallFilter=~@privileged @resources\n"
      "SystemCallErrorNumber=EPERM\n"
      "SystemCallArchitectures=native\n"
      "ProtectKernelTunables=yes\n"
      "ProtectKernelModules=yes\n"
      "ProtectKernelLogs=yes\n"
      "ProtectControlGroups=yes\n"
      "ProtectClock=yes\n"
      "ProtectHostname=yes\n"
      "ProtectProc=invisible\n"
      "ProcSubset=pid\n"
      "RestrictNamespaces=yes\n"
      "RestrictRealtime=yes\n"
      "RestrictSUIDSGID=yes\n"
      "LockPersonality=yes\n"
      "MemoryDenyWriteExecute=yes\n"
      "RemoveIPC=yes\n";
  // No [Install] section: every start is a new job that empties ArpTable, so
  // the service is never started at boot.
  return unit;
}

}  // namespace vexa
