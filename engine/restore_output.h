#pragma once
// The file a restore writes, so that a file is either complete or not there.
// A file that did not exist is written under its own name and removed when it
// cannot be completed. A file that existed is written under a temporary name
// beside it and takes the real name only once it is complete and stamped, so
// that an interrupted update leaves the old version exactly as it was.
#include <memory>
#include <string>

#include "framework/core/stream.h"

class TRestoreOutput {
 public:
  // Creates the output for `path`: the file itself when nothing of that name
  // exists (no system call beyond the create), a replacement beside it
  // otherwise. Raises EFCreateError when neither can be created.
  explicit TRestoreOutput(const std::string& path);
  // Discards the output unless it was completed.
  ~TRestoreOutput();
  TRestoreOutput(const TRestoreOutput&) = delete;
  TRestoreOutput& operator=(const TRestoreOutput&) = delete;

  TFileStream* stream() const { return stream_.get(); }

  // Stamps the file with a DOS date-time through `stamped` (skipped when null;
  // a failed stamp is ignored), closes it and gives a replacement the real
  // name. Returns false when that rename fails (platform::lastError tells
  // why); the replacement is then removed with the object.
  bool complete(TFileStream* stamped, uint32_t fileDate);
  // Closes and removes what was written; an old version stays untouched.
  void discard();

 private:
  std::string path_;     // the real name
  std::string written_;  // where the bytes go: path_, or the temporary name
  std::unique_ptr<TFileStream> stream_;
  bool completed_ = false;
};
