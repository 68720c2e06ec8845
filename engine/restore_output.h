#pragma once
// The file a restore writes, so that a file is either complete or not there.
// A file that did not exist is written under its own name and removed when it
// cannot be completed. A file that existed is written under a temporary name
// beside it and takes the real name only once it is complete and stamped, so
// that an interrupted update leaves the old version exactly as it was. Where
// that cannot work (the directory is not writable, or it is sticky and the
// file another user's), the file is rewritten in place and emptied when it
// cannot be completed.
//
// Every name is opened relative to an open directory and no link is
// followed: a link (or any other entry that is not a regular file) at the
// name is replaced by a regular file. Permissions come only from a regular
// file being replaced, never with its set-user or set-group bits; a new file
// gets 0666 less the umask; a replacement gets them only once it is complete.
#include <memory>
#include <string>

#include "framework/core/stream.h"
#include "platform/interrupt.h"
#include "platform/open_directory.h"

//
// The class is also the seam of the restore's outputs: a target in memory
// (TMemoryRestoreTarget) makes its own kind, whose stream writes nowhere on
// disk.
class TRestoreOutput {
 public:
  // Creates the output for the entry `name` of `directory`; `path` is the
  // Windows-form target it stands for. Null on failure, with the reason
  // (the system's text) in `reason` and platform::lastError() set.
  static std::unique_ptr<TRestoreOutput> create(const std::string& path,
                                                std::shared_ptr<platform::OpenDirectory> directory,
                                                const std::string& name, std::string& reason);
  // Discards the output unless it was completed.
  virtual ~TRestoreOutput();
  TRestoreOutput(const TRestoreOutput&) = delete;
  TRestoreOutput& operator=(const TRestoreOutput&) = delete;

  TFileStream* stream() const { return stream_.get(); }

  // Stamps the file with a DOS date-time through `stamped` (skipped when null;
  // a failed stamp is ignored), closes it and gives a replacement its
  // permissions and the real name. Returns false when that rename fails
  // (platform::lastError tells why); the replacement is then removed with the
  // object.
  virtual bool complete(TFileStream* stamped, uint32_t fileDate);
  // The permissions the file gets when completed, whatever it replaces.
  void setMode(unsigned mode) {
    mode_ = mode;
    modeGiven_ = true;
  }
  // Closes and removes what was written; an old version stays untouched (a
  // file rewritten in place is emptied).
  virtual void discard();

 protected:
  TRestoreOutput() = default;
  std::unique_ptr<TFileStream> stream_;
  // Nothing of it is left to remove (it was completed, or never made).
  bool completed_ = false;

 private:
  enum class Kind { New, Replacement, InPlace };

  std::shared_ptr<platform::OpenDirectory> directory_;
  std::string name_;     // the real name in directory_
  std::string written_;  // where the bytes go: name_, or the temporary name
  Kind kind_ = Kind::New;
  // What a replacement takes over once complete.
  unsigned mode_ = 0;
  bool modeGiven_ = false;
  bool keepOwner_ = false;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  // Removed (or emptied, in place) by an end at a second interrupt.
  platform::UnfinishedFile unfinished_;
};
