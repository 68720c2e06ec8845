// Fuzzes the restore engine: arbitrary bytes are restored through ":STREAM"
// into a scratch destination. Besides the sanitizers' checks, every run must
// leave nothing outside the destination and the destination must be a
// directory tree of plain files.
//
// The first input byte chooses the settings of the run:
//   bit 0     RestoreFullPath
//   bits 1-3  RestoreMode (modulo 5)
//   bit 4     OnNeedDisk answers "go on" (else the restore stops at a volume change)
//   bits 5-7  the most bytes one read of the stream delivers (0: no limit)
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/backup_file.h"
#include "framework/core/application_services.h"
#include "framework/core/exceptions.h"
#include "platform/drives.h"

namespace fs = std::filesystem;

namespace {

// No windows: messages need no processing, and every box is answered with OK
// so that a prompt never ends a run by itself.
class QuietApplication : public ApplicationServices {
 public:
  void processMessages() override {}
  int messageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons, int) override { return mrOk; }
  std::string title() const override { return "Fuzz"; }
};

// <outer>/c is drive C:; the destination is C:\dest. <outer> holds nothing
// but c, so a file that escaped C: shows up there.
struct Sandbox {
  std::string outer;
  std::string root;
  QuietApplication app;

  Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "restore-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) abort();
    outer = pattern;
    root = outer + "/c";
    fs::create_directories(root);
    platform::Drive c;
    c.letter = 'C';
    c.hostRoot = root;
    // Installing a table enters C:\; libFuzzer keeps reading its corpus by
    // relative paths, so the working directory is put back.
    const fs::path workingDirectory = fs::current_path();
    platform::installDriveTable({c});
    fs::current_path(workingDirectory);
    setApplicationServices(&app);
  }
  ~Sandbox() {
    setApplicationServices(nullptr);
    std::error_code ec;
    fs::remove_all(outer, ec);
  }
  static Sandbox& instance() {
    static Sandbox s;
    return s;
  }
};

[[noreturn]] void fail(const std::string& what) {
  fprintf(stderr, "restore_fuzzer: %s\n", what.c_str());
  abort();
}

// Only C:\dest may have been created, and only directories and regular files
// below it; then the destination is cleared for the next run.
void checkAndClear(const Sandbox& s) {
  for (const auto& e : fs::directory_iterator(s.outer))
    if (e.path().filename() != "c") fail("written outside drive C: " + e.path().string());
  for (const auto& e : fs::directory_iterator(s.root))
    if (e.path().filename() != "dest") fail("written outside the destination: " + e.path().string());
  std::error_code ec;
  if (fs::exists(s.root + "/dest")) {
    for (const auto& e : fs::recursive_directory_iterator(s.root + "/dest")) {
      auto status = fs::symlink_status(e.path());
      if (!fs::is_regular_file(status) && !fs::is_directory(status)) fail("not a plain file: " + e.path().string());
    }
  }
  fs::remove_all(s.root + "/dest", ec);
  if (ec) fail("cannot clear the destination: " + ec.message());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Sandbox& sandbox = Sandbox::instance();
  if (size == 0) return 0;
  const uint8_t settings = data[0];

  TMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  stream.setMaxReadSize((settings >> 5) & 7);
  TBackupFile backup(nullptr);
  backup.FSourceStream = &stream;
  backup.RestoreFullPath = settings & 1;
  backup.RestoreMode = TRestoreMode(((settings >> 1) & 7) % 5);
  const bool goOn = settings & 16;
  backup.OnNeedDisk = TNeedDiskEvent([goOn](TObject*, uint16_t, bool& c) { c = goOn; });

  try {
    backup.Restore(":STREAM", "C:\\dest");
  } catch (const Exception&) {
    // Damaged archives end in the engine's own exceptions; anything else
    // escapes and is reported as a crash.
  }
  checkAndClear(sandbox);
  return 0;
}
