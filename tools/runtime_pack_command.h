#pragma once
// `setupkit list` and `setupkit restore` of a packed runtime (runtime.pak,
// medium/runtime_pack.h), which is not an archive: list names its folders
// and files with their sizes, restore unpacks it below the destination.
#include <optional>
#include <ostream>
#include <string>

namespace setupkit {

// The exit status, or nothing when `file` is no packed runtime.
std::optional<int> listRuntimePack(const std::string& file, std::ostream& out, std::ostream& err);
std::optional<int> restoreRuntimePack(const std::string& file, const std::string& dest, std::ostream& err);

}  // namespace setupkit
