#pragma once
// The restore modes by the names the command lines take (--mode), in one
// table for setupkit and the launcher.
#include <optional>
#include <string>

#include "engine/backup_file.h"

namespace setupkit {

// The names, in the order the help lists them.
inline constexpr const char* kRestoreModeNames = "all, no-overwrite, newer, existing, existing-newer";

// The mode called `name`; nothing for an unknown name.
std::optional<TRestoreMode> restoreModeNamed(const std::string& name);

// The message for an unknown mode name.
std::string unknownRestoreMode(const std::string& name);

}  // namespace setupkit
