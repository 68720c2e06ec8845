#include "app/private_copy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ini.h"
#include "platform/module.h"

namespace fs = std::filesystem;

namespace startup {

namespace {

constexpr const char* kTempDirectory = "/tmp";
constexpr const char* kLockName = ".lock";      // held while the program runs
constexpr const char* kMediumName = ".medium";  // the medium's folder (host path)
constexpr const char* kRuntimeName = "runtime";

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string runningFile() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

// True for a folder named like a private copy (setup-run-*) that is a
// directory (not a link) owned by this user.
bool isOwnCopyFolder(const fs::path& folder) {
  struct stat info;
  return folder.filename().string().rfind(kPrivateCopyPrefix, 0) == 0 && lstat(folder.c_str(), &info) == 0 &&
         S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

// True for a folder that this program's private copies are made in.
bool isPrivateCopyFolder(const fs::path& folder) {
  return folder.parent_path() == kTempDirectory && isOwnCopyFolder(folder);
}

pid_t programPid = -1;
void forwardSignal(int signal) {
  if (programPid > 0) kill(programPid, signal);
}

// This process waits for the program (a child), removes the private copy and
// exits with the program's status; the child returns and runs the program.
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

// Makes the private copy of the program file `self` and the runtime folder
// beside it; returns the copy's folder, or empty when it failed (then nothing
// is left). The folder's lock is taken on a descriptor that stays open across
// exec, so that it is held for as long as the program runs.
fs::path makePrivateCopy(const fs::path& self, const fs::path& medium) {
  std::string pattern = std::string(kTempDirectory) + "/" + kPrivateCopyPrefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  fs::path copy(pattern);
  // The lock is taken before the file gets its name: whoever finds a .lock
  // finds it held.
  const fs::path unnamed = copy / ".lock.new";
  int lock = open(unnamed.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  std::error_code ec;
  if (lock < 0 || flock(lock, LOCK_EX) != 0 || rename(unnamed.c_str(), (copy / kLockName).c_str()) != 0) {
    if (lock >= 0) close(lock);
    fs::remove_all(copy, ec);
    return {};
  }
  fs::copy_file(self, copy / self.filename(), ec);
  if (!ec && fs::is_directory(medium / kRuntimeName))
    fs::copy(medium / kRuntimeName, copy / kRuntimeName, fs::copy_options::recursive, ec);
  if (!ec) {
    std::ofstream out(copy / kMediumName, std::ios::binary);
    out << medium.string();
    out.close();
    if (!out) ec = std::make_error_code(std::errc::io_error);
  }
  if (ec) {
    close(lock);
    fs::remove_all(copy, ec);
    return {};
  }
  return copy;
}

}  // namespace

int diskCountOf(const std::string& setupIns) {
  std::string value = platform::profileStringFromText("Setup", "Disks", "", setupIns);
  if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::max(1, std::stoi(value));
}

int removeStaleCopies(const std::string& tempDirectory) {
  int removed = 0;
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(tempDirectory, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path dir = it->path();
    if (!isOwnCopyFolder(dir)) continue;  // not one of ours (tests look at another folder than /tmp)
    int lock = open((dir / kLockName).c_str(), O_RDWR | O_CLOEXEC);
    bool stale;
    if (lock >= 0) {
      stale = flock(lock, LOCK_EX | LOCK_NB) == 0;
      close(lock);
    } else {
      // Without its lock a folder is either being made this moment or was
      // left by a start that failed: only an old one is stale.
      std::error_code timeError;
      auto changed = fs::last_write_time(dir, timeError);
      stale = !timeError && now - changed > std::chrono::minutes(1);
    }
    std::error_code removeError;
    if (stale && fs::remove_all(dir, removeError) > 0 && !removeError) ++removed;
  }
  return removed;
}

void runOffTheMedium(char** argv) {
  const fs::path self = runningFile();
  if (self.empty()) return;
  const fs::path folder = self.parent_path();

  // A private copy: a folder of ours in /tmp that names the medium. Only such
  // a folder is ever removed at the end.
  std::error_code ec;
  if (isPrivateCopyFolder(folder) && fs::is_regular_file(folder / kMediumName, ec)) {
    fs::path medium = readText(folder / kMediumName);
    if (!medium.empty()) {
      platform::setModuleFileName((medium / self.filename()).string());
      waitForProgramThenRemove(folder);
    }
    return;
  }

  removeStaleCopies(kTempDirectory);
  if (diskCountOf(readText(folder / "SETUP.INS")) < 2) return;
  fs::path copy = makePrivateCopy(self, folder);
  if (copy.empty()) {
    std::fprintf(stderr, "setup: cannot copy the program to %s; disk 1 stays in use\n", kTempDirectory);
    return;
  }
  // Nothing of the medium stays in use: not the program, its libraries, nor
  // the working directory.
  fs::current_path(copy, ec);
  fs::path program = copy / self.filename();
  execv(program.c_str(), argv);
  std::fprintf(stderr, "setup: cannot start the copy %s; disk 1 stays in use\n", program.c_str());
  fs::current_path(folder, ec);
  fs::remove_all(copy, ec);
}

}  // namespace startup
