#pragma once
// Shared pieces of the engine tests: a log of the component's events, the
// usual entry date, and a fixture with C: over a scratch directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "engine/backup_file.h"
#include "platform/dos_time.h"
#include "tests/support/archive_builder.h"
#include "tests/support/fake_application.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/temp_dir.h"

// Records what the component's events report. Attach() assigns handlers for
// OnProgress, OnFileRestored and OnError; OnNeedDisk and OnRestoreFile are
// left to the tests that need them.
struct EventLog {
  struct Progress {
    std::string file;
    int percent;
  };
  struct Restored {
    std::string file;
    int64_t size;  // size of the open stream when the event fired
  };
  std::vector<Progress> progress;
  std::vector<Restored> restored;
  std::vector<std::pair<int, std::string>> errors;

  void attach(TBackupFile& b) {
    b.OnProgress = TProgressEvent([this](TObject*, const std::string& f, TPercentage p, bool&) {
      progress.push_back({f, p});
    });
    b.OnFileRestored = TFileRestoredEvent([this](TObject*, std::string& f, TFileStream*& s) {
      restored.push_back({f, s ? s->size() : -1});
    });
    b.OnError =
        TBackupErrorEvent([this](TObject*, int32_t code, const std::string& text) { errors.emplace_back(code, text); });
  }
  // Progress reports with an empty file name and 100: the final report.
  int finalReports() const {
    int n = 0;
    for (const auto& p : progress) n += p.file.empty() && p.percent == 100;
    return n;
  }
};

// The date of most test entries: 15 June 2001, 12:30:00.
inline constexpr uint32_t kDate2001 = platform::makeDosDateTime(2001, 6, 15, 12, 30, 0);

// Host modification time in Unix seconds, or -1.
inline int64_t hostMtime(const std::string& hostPath) {
  struct stat st {};
  return stat(hostPath.c_str(), &st) == 0 ? int64_t(st.st_mtim.tv_sec) : -1;
}

// The file-size limit makes the disk "full" after a few bytes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

// C: is a scratch directory; the fake application answers the boxes.
class EngineTest : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedDriveC drive{tmp.path()};
  FakeApplication app;
  TBackupFile backup{nullptr};
  EventLog log;

  // Writes a volume as the host file tmp/<name> (C:\<name>).
  void writeVolume(const std::string& name, const ArchiveBuilder& volume) { tmp.write(name, volume.bytes()); }
};
