// The unit file of the service "Vexa ARP": the collector's paths written so
// that systemd reads back exactly those paths, and the sandbox it runs in.
#pragma once

#include <sys/types.h>

#include <string>

namespace vexa {

// Why a unit cannot name `program` run in `folder`, as a sentence for the
// event log; empty when it can. systemd cannot take a path that is relative
// or not normalized, holds a line break or another control character or
// bytes that are not UTF-8, or (as a working directory) ends in a blank or a
// backslash.
std::string SystemdUnitPathProblem(const std::string& program, const std::string& folder);

// The unit text for paths that passed SystemdUnitPathProblem. The collector
// runs as `user`/`group` (the owner of its folder: with no capabilities even
// root may only write files it owns) in a sandbox that leaves it its folder,
// outgoing UDP over IPv4 and IPv6, and read access to the system's files.
// The unit has no [Install] section: it is started by request only.
// `metrics_folder`, when not empty, is the folder of the metrics file: it is
// writable too (where it exists when the service starts).
std::string SystemdUnitText(const std::string& program, const std::string& folder, uid_t user,
                            gid_t group, const std::string& metrics_folder = "");

// The folder of the metrics file `metrics_file` that the unit must leave
// writable: empty when there is none, when it lies in `folder` anyway, or
// when systemd could not name it.
std::string MetricsFolderToWrite(const std::string& metrics_file, const std::string& folder);

}  // namespace vexa
