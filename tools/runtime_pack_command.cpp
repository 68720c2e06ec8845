#include "tools/runtime_pack_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/exit_status.h"
#include "common/host_paths.h"
#include "medium/runtime_pack.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

// An open packed runtime: its descriptor and size; fd is -1 for any other file.
struct Opened {
  int fd = -1;
  int64_t size = 0;
  Opened(const std::string& argument) {
    fd = open(hostPathOfArgument(argument).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && runtime_pack::isPacked(fd, 0, st.st_size)) {
      size = st.st_size;
      return;
    }
    if (fd >= 0) close(fd);
    fd = -1;
  }
  ~Opened() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::optional<int> listRuntimePack(const std::string& file, std::ostream& out, std::ostream& err) {
  Opened pack(file);
  if (pack.fd < 0) return std::nullopt;
  std::string problem = runtime_pack::list(pack.fd, 0, pack.size, [&](const runtime_pack::Entry& e) {
    if (e.kind == 'D')
      out << e.path << "/\n";
    else
      out << e.path << "  " << e.size << (e.kind == 'X' ? "  executable" : "") << "\n";
  });
  if (problem.empty()) return kExitOk;
  err << "setupkit: " << file << ": " << problem << "\n";
  return kExitDamaged;
}

std::optional<int> restoreRuntimePack(const std::string& file, const std::string& dest, std::ostream& err) {
  Opened pack(file);
  if (pack.fd < 0) return std::nullopt;
  const std::string target = hostPathOfArgument(dest.empty() ? "." : dest);
  std::error_code ec;
  fs::create_directories(target, ec);
  int directory = open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) {
    err << "setupkit: cannot open " << target << ": " << std::strerror(errno) << "\n";
    return kExitFailed;
  }
  std::string problem = runtime_pack::unpack(pack.fd, 0, pack.size, directory);
  close(directory);
  if (problem.empty()) return kExitOk;
  err << "setupkit: " << file << ": " << problem << "\n";
  switch (runtime_pack::kindOf(problem)) {
    case runtime_pack::Problem::Interrupted: return kExitCancelled;
    case runtime_pack::Problem::WriteFailed: return kExitFailed;
    default: return kExitDamaged;
  }
}

}  // namespace setupkit
