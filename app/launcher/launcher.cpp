// The launcher: the `setup` of a medium whose runtime is packed. It has no Qt
// of its own (engine and platform only). It unpacks the packed runtime (the
// setup program and its runtime/ folder, engine/runtime_pack.h) into a
// private folder that allows running programs, and executes the program
// there. The program finds its medium through `.medium` in that
// folder, reads SETUP.INS and the archive from the medium, and removes the
// folder when it ends (app/private_copy.h). Since nothing of the medium is in
// use afterwards (this process is replaced, and a working directory on the
// medium is left), disk 1 can be taken out.
//
// A one-file installer is this program with the medium appended
// (engine/installer_file.h): its size and checksum are checked before
// anything is written, SETUP.INS is written into the private folder, and the
// program reads the archive in place from the installer file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/installer_file.h"
#include "engine/runtime_pack.h"
#include "platform/paths.h"
#include "platform/private_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRuntimePack = "runtime.pak";  // beside the launcher on a folder medium
constexpr const char* kProgram = "setup";             // the program inside the packed runtime

void say(const std::string& message) { std::fprintf(stderr, "setup: %s\n", message.c_str()); }

bool writeFile(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  return bool(out);
}

std::string readPart(const std::string& file, int64_t offset, int64_t size) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(offset);
  std::string text(size_t(size), '\0');
  in.read(text.data(), size);
  return in ? text : std::string();
}

// Unpacks the packed runtime, the `length` bytes at `offset` of `pack`
// (engine/runtime_pack.h), below `folder`.
bool unpackRuntime(const std::string& pack, int64_t offset, int64_t length, const fs::path& folder,
                   std::string& problem) {
  const int in = open(pack.c_str(), O_RDONLY | O_CLOEXEC);
  const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0 || directory < 0) problem = "cannot open " + (in < 0 ? pack : folder.string()) + ": " + std::strerror(errno);
  else problem = runtime_pack::unpack(in, offset, length, directory);
  if (in >= 0) close(in);
  if (directory >= 0) close(directory);
  return problem.empty();
}

struct Medium {
  std::string self;         // this program's file
  fs::path folder;          // the medium's folder
  bool oneFile = false;
  installer::Parts parts;   // of a one-file installer
};

// Fills the private folder `folder` and executes the program there. Returns
// only when that failed, with the reason.
std::string startIn(const Medium& medium, const fs::path& folder, char** argv) {
  std::string problem;
  std::string pack = (medium.folder / kRuntimePack).string();
  std::error_code ec;
  int64_t offset = 0, length = int64_t(fs::file_size(pack, ec));
  if (medium.oneFile) {
    pack = medium.self;
    offset = medium.parts.runtimeOffset();
    length = medium.parts.runtime;
  }
  if (!unpackRuntime(pack, offset, length, folder, problem)) return problem;
  const fs::path program = folder / kProgram;
  if (chmod(program.c_str(), 0700) != 0) return "the packed runtime holds no program";
  fs::path programDirectory = medium.folder;
  if (medium.oneFile) {
    // The program reads SETUP.INS beside itself, and the archive in place:
    // SETUP.BIN is an empty stand-in that opens the installer's stretch.
    const installer::Parts& p = medium.parts;
    std::string configuration = readPart(medium.self, p.configurationOffset(), p.configuration);
    programDirectory = folder;
    if (!writeFile(folder / "SETUP.INS", configuration) || !writeFile(folder / "SETUP.BIN", "") ||
        !writeFile(folder / ".archive", std::to_string(p.archiveOffset()) + " " + std::to_string(p.archive) + "\n" +
                                            medium.self + "\n"))
      return "cannot write into " + folder.string();
  }
  if (!writeFile(folder / ".medium", programDirectory.string())) return "cannot write into " + folder.string();
  const std::string left = platform::leaveMediumDirectory(medium.folder.string(), folder.string());
  execv(program.c_str(), argv);
  problem = "cannot start " + program.string() + ": " + std::strerror(errno);
  if (!left.empty() && chdir(left.c_str()) != 0) problem += " (and cannot return to " + left + ")";
  return problem;
}

}  // namespace

int main(int, char** argv) {
  Medium medium;
  std::error_code ec;
  medium.self = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec) {
    say("cannot tell where this program lies (/proc is not mounted?)");
    return 1;
  }
  medium.folder = fs::path(medium.self).parent_path();

  // A one-file installer, or the launcher of a folder medium (a plain
  // program with runtime.pak beside it).
  installer::Layout layout = installer::readLayout(medium.self);
  if (layout.state == installer::State::Sound) {
    medium.oneFile = true;
    medium.parts = layout.parts;
  } else if (!fs::is_regular_file(medium.folder / kRuntimePack, ec)) {
    say(layout.state == installer::State::NotInstaller || layout.problem.empty()
            ? (medium.folder / kRuntimePack).string() + " is missing: the medium is incomplete"
            : medium.self + ": " + layout.problem);
    return 1;
  }

  const std::vector<std::string> bases = platform::privateFolderBases();
  for (const std::string& base : bases) platform::removeStalePrivateFolders(base);
  std::string problems;
  for (const std::string& base : bases) {
    auto folder = platform::makePrivateFolder(base);
    if (!folder) continue;
    std::string problem = platform::allowsExecuting(folder->path)
                              ? startIn(medium, folder->path, argv)
                              : "programs cannot be run from " + base;
    // Still here: the program did not start from this folder.
    close(folder->lock);
    fs::remove_all(folder->path, ec);
    problems += "\n  " + problem;
  }
  say("cannot start the setup program:" + (problems.empty() ? std::string("\n  no folder could be made") : problems));
  return 1;
}
