#include "app/private_copy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/exit_status.h"
#include "medium/medium_owner.h"
#include "medium/medium_signature.h"
#include "platform/file_window.h"
#include "platform/ini.h"
#include "platform/module.h"
#include "platform/private_folder.h"

namespace fs = std::filesystem;

namespace startup {

namespace {

constexpr const char* kMediumName = ".medium";        // the medium's folder (host path)
constexpr const char* kArchiveName = ".archive";      // where a one-file installer's archive lies
constexpr const char* kStartedName = ".started";      // the file the user started (the launcher's)
constexpr const char* kSignerName = ".signer";        // who signed the medium, as the launcher checked it
constexpr const char* kPublisherName = ".publisher";  // the signer's public key, to pin
constexpr const char* kRuntimeName = "runtime";

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string& signer() {
  static std::string text;
  return text;
}

std::string& publisher() {
  static std::string text;
  return text;
}

std::string runningFile() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

// Every cache the program or a library of its runtime writes goes into the
// private folder, which is removed when the program ends: fontconfig's font
// cache (its fonts.conf names "xdg" as the cache's prefix), Qt's and any
// library's XDG cache, Mesa's shader cache and the NVIDIA driver's. A run
// leaves nothing in the user's home but what it installs.
void keepCachesIn(const fs::path& folder) {
  const fs::path cache = folder / ".cache";
  if (mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) return;
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  setenv("MESA_SHADER_CACHE_DIR", (cache / "mesa").c_str(), 1);
  setenv("MESA_GLSL_CACHE_DIR", (cache / "mesa").c_str(), 1);
  setenv("__GL_SHADER_DISK_CACHE_PATH", (cache / "nvidia").c_str(), 1);
}

pid_t programPid = -1;
void forwardSignal(int signal) {
  if (programPid > 0) kill(programPid, signal);
}

// This process waits for the program (a child), removes the private folder
// and exits with the program's status; the child returns and runs the program.
void waitForProgramThenRemove(const fs::path& copy) {
  pid_t pid = fork();
  if (pid <= 0) return;  // the child, or no fork: the program runs here
  programPid = pid;
  struct sigaction action {};
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(s, &action, nullptr);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::error_code ec;
  fs::remove_all(copy, ec);
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    raise(WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

// The archive of a one-file installer, read in place: SETUP.BIN in the
// private folder (an empty stand-in) opens the stretch of the installer file
// that `.archive` names ("OFFSET LENGTH" on the first line, the file's host
// path on the second).
void mapInstallerArchive(const fs::path& folder) {
  std::istringstream in(readText(folder / kArchiveName));
  platform::FileWindow window;
  in >> window.offset >> window.length;
  in.ignore(1);
  std::getline(in, window.file);
  if (in && window.offset > 0 && window.length > 0) platform::mapFileWindow((folder / "SETUP.BIN").string(), window);
}

// Makes the private copy of the program file `self` and the runtime folder
// beside it in the first folder that allows running programs; returns it, or
// nothing when it failed (then nothing is left).
std::optional<platform::PrivateFolder> makePrivateCopy(const fs::path& self, const fs::path& medium) {
  for (const std::string& base : platform::privateFolderBases()) {
    auto copy = platform::makePrivateFolder(base);
    if (!copy) continue;
    const fs::path folder(copy->path);
    std::error_code ec;
    if (!platform::allowsExecuting(copy->directory)) ec = std::make_error_code(std::errc::permission_denied);
    if (!ec) fs::copy_file(self, folder / self.filename(), ec);
    if (!ec && fs::is_directory(medium / kRuntimeName))
      fs::copy(medium / kRuntimeName, folder / kRuntimeName, fs::copy_options::recursive, ec);
    if (!ec) {
      std::ofstream out(folder / kMediumName, std::ios::binary);
      out << medium.string();
      out.close();
      std::ofstream signedBy(folder / kSignerName, std::ios::binary);
      signedBy << signer();
      signedBy.close();
      std::ofstream key(folder / kPublisherName, std::ios::binary);
      key << publisher();
      key.close();
      if (!out || !signedBy || !key) ec = std::make_error_code(std::errc::io_error);
    }
    if (!ec) return copy;
    platform::discardPrivateFolder(*copy);
  }
  return std::nullopt;
}

}  // namespace

int diskCountOf(const std::string& setupIns) {
  std::string value = platform::profileStringFromText("Setup", "Disks", "", setupIns);
  if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::max(1, std::stoi(value));
}

std::string programFileOnMedium(const std::string& privateFolder, const std::string& medium,
                                const std::string& programName) {
  // The launcher names the file it was started as; a private copy keeps the
  // program's own name.
  std::string started = fs::path(readText(fs::path(privateFolder) / kStartedName)).filename();
  return (fs::path(medium) / (started.empty() ? programName : started)).string();
}

const std::string& mediumSigner() { return signer(); }
const std::string& mediumPublisher() { return publisher(); }

int removeStaleCopies(const std::string& tempDirectory) { return platform::removeStalePrivateFolders(tempDirectory); }

void runOffTheMedium(char** argv) {
  const fs::path self = runningFile();
  if (self.empty()) return;
  const fs::path folder = self.parent_path();

  // Started in a private folder (a copy of this program, or the runtime the
  // launcher unpacked), which names the medium. Only such a folder is ever
  // removed at the end.
  std::error_code ec;
  if (platform::isOwnPrivateFolder(folder.string()) && fs::is_regular_file(folder / kMediumName, ec)) {
    fs::path medium = readText(folder / kMediumName);
    signer() = readText(folder / kSignerName);
    publisher() = readText(folder / kPublisherName);
    if (!medium.empty()) {
      keepCachesIn(folder);
      platform::setModuleFileName(programFileOnMedium(folder.string(), medium.string(), self.filename()));
      if (fs::is_regular_file(folder / kArchiveName, ec)) mapInstallerArchive(folder);
      waitForProgramThenRemove(folder);
    }
    return;
  }

  // Straight from a folder medium: its signature is checked before anything
  // is copied or written.
  if (fs::is_regular_file(folder / "SETUP.INS", ec)) {
    // Root reads only a medium no other user could change under it.
    const std::string why = geteuid() == 0 ? medium_owner::changeableByOthers(self.string()) : std::string();
    if (!why.empty()) {
      std::fprintf(stderr, "setup: %s: %s: root installs only from a medium no other user can change\n", folder.c_str(),
                   why.c_str());
      std::exit(setupkit::kExitRefused);
    }
    const medium_signature::Result checked = medium_signature::checkFolder(
        folder.string(), medium_signature::readTrustedKeys(medium_signature::trustedKeysDirectory()));
    if (checked.status != 0) {
      std::fprintf(stderr, "setup: %s: %s\n", folder.c_str(), checked.problem.c_str());
      std::exit(checked.status);
    }
    signer() = medium_signature::describe(checked.signer);
    publisher() = checked.signer.isSigned ? checked.signer.publicKey : std::string();
  }
  for (const std::string& base : platform::privateFolderBases()) removeStaleCopies(base);
  if (diskCountOf(readText(folder / "SETUP.INS")) < 2) return;
  auto copy = makePrivateCopy(self, folder);
  if (!copy) {
    std::fprintf(stderr, "setup: cannot copy the program to a folder that allows running it; disk 1 stays in use\n");
    return;
  }
  // Nothing of the medium stays in use: not the program, its libraries, nor
  // the working directory.
  const std::string left = platform::leaveMediumDirectory(folder.string(), copy->path);
  fs::path program = fs::path(copy->path) / self.filename();
  execv(program.c_str(), argv);
  std::fprintf(stderr, "setup: cannot start the copy %s; disk 1 stays in use\n", program.c_str());
  if (!left.empty()) fs::current_path(left, ec);
  platform::discardPrivateFolder(*copy);
}

}  // namespace startup
