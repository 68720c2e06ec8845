// Fuzzes the restore engine as restore_fuzzer does, with the same input
// layout, but places the files in memory (TMemoryRestoreTarget): the same
// restore, the same rules for names, no file system, many times the runs a
// second. restore_fuzzer keeps fuzzing the walk through real directories.
//
// Besides the sanitizers' checks, every run must have placed names below
// C:\dest only, and every name handed down must be one plain component that
// the host would take as it is.
//
// The first input byte chooses the settings of the run:
//   bit 0     RestoreFullPath
//   bits 1-3  RestoreMode (modulo 5)
//   bit 4     OnNeedDisk answers "go on" (else the restore stops at a volume change)
//   bits 5-7  the most bytes one read of the stream delivers (0: no limit)
#include <limits.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/backup_file.h"
#include "engine/memory_target.h"
#include "framework/core/application_services.h"
#include "framework/core/exceptions.h"

namespace {

// No windows: messages need no processing, and every box is answered with OK
// so that a prompt never ends a run by itself.
class QuietApplication : public ApplicationServices {
 public:
  void processMessages() override {}
  int messageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons, int) override { return mrOk; }
  std::string title() const override { return "Fuzz"; }
};

constexpr const char* kDestination = "C:\\dest\\";

[[noreturn]] void fail(const std::string& what) {
  fprintf(stderr, "restore_memory_fuzzer: %s\n", what.c_str());
  abort();
}

bool plainComponent(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > NAME_MAX) return false;
  for (char c : name)
    if (c == '\\' || c == '/' || c == ':' || c == '\0') return false;
  return true;
}

void checkTree(const TMemoryFiles::Node& node, const std::string& path) {
  for (const auto& [key, child] : node.children) {
    if (!plainComponent(child->name)) fail("a name the host would not take as one component: " + path + child->name);
    if (!child->directory && !child->children.empty()) fail("a file holds names: " + path + child->name);
    const std::string below = path + child->name + "\\";
    if (below.size() >= PATH_MAX) fail("a path longer than the host allows: " + below.substr(0, 200));
    checkTree(*child, below);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietApplication app;
  static TMemoryFiles files;
  setApplicationServices(&app);
  if (size == 0) return 0;
  const uint8_t settings = data[0];

  TMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  stream.setMaxReadSize((settings >> 5) & 7);
  // One component for every run, as a program restoring one archive after
  // another has it: Restore sets up its own state (and making a component,
  // with its published properties, took a tenth of a run).
  static TBackupFile backup(nullptr);
  backup.FSourceStream = &stream;
  backup.RestoreFullPath = settings & 1;
  backup.RestoreMode = TRestoreMode(((settings >> 1) & 7) % 5);
  const bool goOn = settings & 16;
  backup.OnNeedDisk = TNeedDiskEvent([goOn](TObject*, uint16_t, bool& c) { c = goOn; });
  backup.MakeTarget = [](const std::string& dir) { return std::make_unique<TMemoryRestoreTarget>(dir, files); };

  try {
    backup.Restore(":STREAM", "C:\\dest");
  } catch (const Exception&) {
    // Damaged archives end in the engine's own exceptions; anything else
    // escapes and is reported as a crash.
  }
  for (const auto& [anchor, root] : files.roots) {
    if (anchor != kDestination) fail("placed outside the destination: " + anchor);
    checkTree(root, anchor);
  }
  files.clear();
  return 0;
}
