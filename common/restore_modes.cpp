#include "common/restore_modes.h"

#include <map>

namespace setupkit {

std::optional<TRestoreMode> restoreModeNamed(const std::string& name) {
  static const std::map<std::string, TRestoreMode> kModes = {{"all", rmAll},
                                                             {"no-overwrite", rmNoOverwrite},
                                                             {"newer", rmNewer},
                                                             {"existing", rmExisting},
                                                             {"existing-newer", rmExistingNewer}};
  const auto it = kModes.find(name);
  if (it == kModes.end()) return std::nullopt;
  return it->second;
}

std::string unknownRestoreMode(const std::string& name) {
  return "unknown mode \"" + name + "\" (" + kRestoreModeNames + ")";
}

}  // namespace setupkit
