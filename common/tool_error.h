#pragma once
// The failure of a setupkit command, with the message shown to the user.
#include <stdexcept>
#include <string>

namespace setupkit {

class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive named on the command line does not exist, or cannot be opened
// (`reason`: "Is a directory", "Permission denied").
class ArchiveNotFound : public ToolError {
 public:
  explicit ArchiveNotFound(const std::string& path) : ToolError("Archive not found: " + path) {}
  ArchiveNotFound(const std::string& path, const std::string& reason)
      : ToolError("cannot read " + path + ": " + reason) {}
};

// Refused before anything was written: what was asked would lose files
// (exit status 5).
class Refusal : public ToolError {
 public:
  using ToolError::ToolError;
};

}  // namespace setupkit
