#include "platform/module.h"

#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/errors.h"
#include "platform/paths.h"

namespace platform {

namespace {

std::string& reportedFile() {
  static std::string path;
  return path;
}

// The running file from the host's record; empty with lastError set.
std::string runningFile() {
  std::string host(4096, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", host.data(), host.size());
    if (n < 0) {
      failFromErrno();
      return {};
    }
    if (size_t(n) < host.size()) {
      host.resize(size_t(n));
      return host;
    }
    host.resize(host.size() * 2);  // the link may have been cut: read again with more room
  }
}

}  // namespace

void setModuleFileName(const std::string& hostPath) { reportedFile() = hostPath; }

std::string moduleFileName() {
  std::string host = reportedFile().empty() ? runningFile() : reportedFile();
  if (host.empty()) return {};
  std::optional<std::string> path = virtualPathOf(host);
  if (!path) {
    setLastError(kErrorPathNotFound);
    return {};
  }
  return *path;
}

}  // namespace platform
