#pragma once
// Windows attributes of a host directory entry: 16 directory, 32 archive
// (regular files), 4 system (devices, sockets, pipes), 2 hidden (a name that
// starts with "."), 1 read-only (no owner write permission). Internal to the
// platform layer.
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform {

uint32_t hostEntryAttributes(const struct stat& st, const std::string& name);

}  // namespace platform
