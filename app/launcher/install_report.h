#pragma once
// What an unattended installation tells while it runs: nothing by default;
// one progress line on a terminal (percentage and the file being written);
// with --json one JSON object per line on standard output (start, each file,
// each volume change, the end), for scripts and fleet tools.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace launcher {

struct InstallStart {
  std::string title, app;            // from SETUP.INS
  std::string destination;           // host path
  std::string destinationFrom;       // "option" (--dest), "installation" (the earlier one), "medium" (SETUP.INS)
  std::vector<std::string> volumes;  // the volume files found at the start, host paths
  bool isSigned = false;             // who signed the medium: key id and trusted comment
  std::string keyId, comment;
  bool trustedBySystem = false;  // checked with a key of the administrator's directory
};

struct InstallEnd {
  int status = 0;      // the exit status
  std::string result;  // completed, failed, damaged, missing, cancelled, refused
  int written = 0, skipped = 0;
  uint64_t bytes = 0;              // of the files written
  std::string failedFile, reason;  // host path of the file that failed, and why
  std::string refusal;             // with result "refused": "publisher" or "downgrade"
  std::string message;             // what standard error says; empty on success
  bool rolledBack = false;         // the installation failed and was undone: DEST is as it was
};

// The JSON `result` word for an exit status: completed, failed, damaged,
// missing, cancelled, refused, usage.
std::string resultOfStatus(int status);

class InstallReport {
 public:
  // JSON lines on `json` when given; the progress line on standard error
  // when `terminal`.
  InstallReport(std::FILE* json, bool terminal) : json_(json), terminal_(terminal) {}
  ~InstallReport() { clearLine(); }
  InstallReport(const InstallReport&) = delete;
  InstallReport& operator=(const InstallReport&) = delete;

  void start(const InstallStart& s);
  // A file written or skipped (by the mode): its name as the wizard shows it
  // (Windows form) and its host path.
  void file(const std::string& name, const std::string& target, bool written, uint64_t bytes);
  void volume(int number, const std::string& path);
  void progress(int percent, const std::string& file);
  // A file the installation left in DEST and named (relative to DEST), and why.
  void kept(const std::string& name, const std::string& reason);
  void end(const InstallEnd& e);

 private:
  void line(const std::string& json);
  void clearLine();

  std::FILE* json_;
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace launcher
