#pragma once
// The failure of a setupkit command, with the message shown to the user.
#include <stdexcept>
#include <string>

namespace setupkit {

class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive named on the command line does not exist.
class ArchiveNotFound : public ToolError {
 public:
  explicit ArchiveNotFound(const std::string& path) : ToolError("Archive not found: " + path) {}
};

}  // namespace setupkit
