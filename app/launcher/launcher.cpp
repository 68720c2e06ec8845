// The launcher: the `setup` of a medium whose runtime is packed. It has no Qt
// of its own (engine and platform only). It unpacks the packed runtime (the
// setup program and its runtime/ folder, medium/runtime_pack.h) into a
// private folder that allows running programs, and executes the program
// there. The program finds its medium through `.medium` in that
// folder, reads SETUP.INS and the archive from the medium, and removes the
// folder when it ends (app/private_copy.h). Since nothing of the medium is in
// use afterwards (this process is replaced, and a working directory on the
// medium is left), disk 1 can be taken out.
//
// The private folder is made only in a base nobody else can change
// (platform/private_folder.h), and once made it is filled and its program
// started through the folder's descriptor, never by its name again.
//
// A one-file installer is this program with the medium appended
// (medium/installer_file.h). It is opened once, as the file that was
// started (/proc/self/exe), and that descriptor is the only way it is ever
// read: its size and checksum are checked through it before anything is
// written, the runtime and SETUP.INS are read through it, and the program
// inherits it to read the archive in place (as /proc/self/fd/N). Replacing
// the file under its name after the check changes nothing that is read; when
// root runs a file another user could change in place, that descriptor is of
// a private copy made before the first byte was read. Root refuses a folder
// medium another user could change (launcher_medium.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/launcher/launcher_commands.h"
#include "app/launcher/launcher_medium.h"
#include "app/launcher/refusal_window.h"
#include "common/exit_status.h"
#include "install/publisher_pin.h"
#include "medium/installer_file.h"
#include "medium/runtime_pack.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/private_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRuntimePack = "runtime.pak";  // beside the launcher on a folder medium
constexpr const char* kProgram = "setup";            // the program inside the packed runtime

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string readPart(int fd, int64_t offset, int64_t size) {
  std::string text(size_t(size), '\0');
  int64_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, text.data() + done, size_t(size - done), off_t(offset + done));
    if (n <= 0) return {};
    done += n;
  }
  return text;
}

// Unpacks the packed runtime, the `length` bytes at `offset` of the open
// file `pack` (medium/runtime_pack.h), into the folder open as `folder`:
// everything is made through the descriptor, so exactly the folder that was
// made is filled.
bool unpackRuntime(int pack, int64_t offset, int64_t length, int folder, std::string& problem) {
  problem = runtime_pack::unpack(pack, offset, length, folder);
  return problem.empty();
}

struct Medium {
  fs::path folder;      // the medium's folder
  std::string started;  // the started file's path, for the program's title
  int self = -1;        // the started file, opened once
  bool oneFile = false;
  installer::Parts parts;  // of a one-file installer
  std::string signer;      // who signed it, or "unsigned", for the program to show
  std::string publisher;   // the signer's public key, which the install record pins; empty: unsigned
};

// Fills the private folder and executes the program there. Returns only
// when that failed, with the reason; `kind` tells whether another folder
// could help (a write that failed) or not (damage, an interrupt).
std::string startIn(const Medium& medium, const platform::PrivateFolder& folder, char** argv,
                    runtime_pack::Problem& kind) {
  kind = runtime_pack::Problem::WriteFailed;
  std::string problem;
  const std::string pack = (medium.folder / kRuntimePack).string();
  const int in = medium.oneFile ? medium.self : open(pack.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat packed {};
  if (in < 0 || fstat(in, &packed) != 0) return "cannot open " + pack + ": " + std::strerror(errno);
  int64_t offset = 0, length = packed.st_size;
  if (medium.oneFile) {
    offset = medium.parts.runtimeOffset();
    length = medium.parts.runtime;
  }
  const bool unpacked = unpackRuntime(in, offset, length, folder.directory, problem);
  if (!medium.oneFile) close(in);
  if (!unpacked) {
    kind = runtime_pack::kindOf(problem);
    return problem;
  }
  const int program = openat(folder.directory, kProgram, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (program < 0 || fstat(program, &st) != 0 || !S_ISREG(st.st_mode) || fchmod(program, 0700) != 0) {
    if (program >= 0) close(program);
    kind = runtime_pack::Problem::Damaged;
    return "the packed runtime holds no program";
  }
  fs::path programDirectory = medium.folder;
  const int dir = folder.directory;
  if (medium.oneFile) {
    // The program reads SETUP.INS beside itself, and the archive in place
    // through the descriptor it inherits: SETUP.BIN is an empty stand-in
    // that opens the installer's stretch.
    const installer::Parts& p = medium.parts;
    const std::string configuration = readPart(medium.self, p.configurationOffset(), p.configuration);
    programDirectory = folder.path;
    if (!platform::writeFileAt(dir, "SETUP.INS", configuration) || !platform::writeFileAt(dir, "SETUP.BIN", "") ||
        !platform::writeFileAt(dir, ".archive",
                               std::to_string(p.archiveOffset()) + " " + std::to_string(p.archive) + "\n" +
                                   descriptorPath(medium.self) + "\n"))
      problem = "cannot write into " + folder.path + ": " + std::strerror(errno);
  }
  // The program takes its title from the file the user started.
  // The signature was checked before the folder was made; the program shows who signed.
  if (problem.empty() && (!platform::writeFileAt(dir, ".medium", programDirectory.string()) ||
                          !platform::writeFileAt(dir, ".started", medium.started) ||
                          !platform::writeFileAt(dir, ".signer", medium.signer) ||
                          !platform::writeFileAt(dir, ".publisher", medium.publisher)))
    problem = "cannot write into " + folder.path + ": " + std::strerror(errno);
  if (!problem.empty()) {
    close(program);
    return problem;
  }
  const std::string left = platform::leaveMediumDirectory(medium.folder.string(), folder.path);
  fexecve(program, argv, environ);
  problem = "cannot start " + folder.path + "/" + kProgram + ": " + std::strerror(errno);
  close(program);
  if (!left.empty() && chdir(left.c_str()) != 0) problem += " (and cannot return to " + left + ")";
  return problem;
}

}  // namespace

int main(int argc, char** argv) {
  // With options the launcher works alone (launcher_commands.h); without,
  // it starts the wizard, where the system's C library can run it.
  if (argc > 1) return launcher::runCommandLine(argv[0], std::vector<std::string>(argv + 1, argv + argc));
  // Every refusal before the wizard is also shown in a window when there is
  // a display and no terminal (started by a double click): the exit status
  // stays the table's.
  if (const std::string need = launcher::wizardCannotRun(); !need.empty()) {
    launcher::tellRefusal({need, ""});
    return 1;
  }
  Medium medium;
  // The file that was started, whatever its name points to by now. Not
  // closed on exec: the program reads a one-file installer's archive
  // through it.
  std::string opened;
  medium.self = launcher::openStartedFile(false, opened);
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (medium.self < 0 && !ec) {
    launcher::tellRefusal({self.string() + ": " + opened, "Nothing was installed."});
    return 1;
  }
  if (medium.self < 0 || ec) {
    launcher::tellRefusal(
        {"cannot tell where this program lies (/proc is not mounted?)", "Start it on a system with /proc mounted."});
    return 1;
  }
  medium.folder = self.parent_path();
  medium.started = self.string();

  // A one-file installer, or the launcher of a folder medium (a plain
  // program with runtime.pak beside it).
  installer::Layout layout = installer::readLayout(descriptorPath(medium.self));
  if (layout.state == installer::State::Sound) {
    medium.oneFile = true;
    medium.parts = layout.parts;
  } else if (!fs::is_regular_file(medium.folder / kRuntimePack, ec)) {
    // A one-file installer cut short or damaged, or a folder medium without
    // its runtime: the table's damaged or missing, as with options.
    const bool damaged = layout.state != installer::State::NotInstaller && !layout.problem.empty();
    close(medium.self);
    if (damaged)
      launcher::tellRefusal({self.string() + ": " + layout.problem,
                             "The file did not arrive whole. Download or copy it again, then start the new copy."});
    else
      launcher::tellRefusal({(medium.folder / kRuntimePack).string() + " is missing: the medium is incomplete",
                             "Copy the whole medium again (every file beside setup), or start setup from the "
                             "original disc."});
    return damaged ? setupkit::kExitDamaged : setupkit::kExitMissing;
  }
  if (!medium.oneFile) {
    close(medium.self);
    medium.self = -1;
    if (const std::string why = launcher::changeableFolderMedium(self.string()); !why.empty()) {
      launcher::tellRefusal({medium.folder.string() + ": " + why, launcher::kCopyForRoot});
      return setupkit::kExitRefused;
    }
  }
  // The publisher's signature, before anything is unpacked or written.
  const medium_signature::Result signedBy =
      launcher::checkSignature(medium.oneFile, medium.self, medium.parts, medium.folder.string());
  if (signedBy.status != 0) {
    if (medium.self >= 0) close(medium.self);
    std::string todo = "Nothing was installed.";
    if (signedBy.status == setupkit::kExitDamaged)
      todo = "It was changed after its publisher signed it: do not install it. Get it again from the publisher.";
    else if (signedBy.status == setupkit::kExitRefused)
      todo = "This computer installs only media signed by the publishers its administrator trusts (" +
             medium_signature::trustedKeysDirectory() + "). Ask the administrator.";
    launcher::tellRefusal({(medium.oneFile ? self.string() : medium.folder.string()) + ": " + signedBy.problem, todo});
    return signedBy.status;
  }
  medium.signer = medium_signature::describe(signedBy.signer);
  medium.publisher = publisher_pin::pinOf(signedBy.signer);

  // SIGINT and SIGTERM during the unpack end it with the folder removed
  // (status 4); the program started gets the default handlers again.
  platform::installInterruptHandlers(setupkit::kExitCancelled);
  const std::vector<std::string> bases = platform::privateFolderBases();
  for (const std::string& base : bases) platform::removeStalePrivateFolders(base);
  std::string problems;
  for (const std::string& base : bases) {
    std::string why;
    auto folder = platform::makePrivateFolder(base, &why);
    if (!folder) {
      problems += "\n  " + why;
      continue;
    }
    runtime_pack::Problem kind = runtime_pack::Problem::WriteFailed;
    std::string problem = platform::allowsExecuting(folder->directory) ? startIn(medium, *folder, argv, kind)
                                                                       : "programs cannot be run from " + base;
    // Still here: the program did not start from this folder.
    platform::discardPrivateFolder(*folder);
    // Damage is the medium's, wherever it is unpacked: found once, told once.
    if (kind == runtime_pack::Problem::Damaged || kind == runtime_pack::Problem::Interrupted) {
      if (medium.self >= 0) close(medium.self);
      const std::string pack = medium.oneFile ? self.string() : (medium.folder / kRuntimePack).string();
      if (kind == runtime_pack::Problem::Interrupted) {
        std::fprintf(stderr, "setup: cancelled by %s\n", platform::interruptSignalName());
        return setupkit::kExitCancelled;
      }
      launcher::tellRefusal({pack + ": " + problem,
                             "The medium is damaged. Copy it again, or get it again from "
                             "its publisher."});
      return setupkit::kExitDamaged;
    }
    problems += "\n  " + problem;
  }
  if (medium.self >= 0) close(medium.self);
  launcher::tellRefusal(
      {"cannot start the setup program:" + (problems.empty() ? std::string("\n  no folder could be made") : problems),
       "Make room in the folders named, or install without a window from a terminal: " + self.filename().string() +
           " --unattended --dest DIR."});
  return 1;
}
