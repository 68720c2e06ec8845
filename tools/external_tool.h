#pragma once
// external_tool: runs a program of the system (strip, xorriso) and waits.
#include <string>
#include <vector>

namespace setupkit {

// Runs argv[0] (looked up in PATH) with its output sent to `log` (a host
// path, truncated first; empty: /dev/null). Returns its exit status, or -1
// when it could not be started or ended by a signal.
int runExternalTool(const std::vector<std::string>& argv, const std::string& log = {});

// True when `name` is an executable in PATH.
bool haveExternalTool(const std::string& name);

}  // namespace setupkit
