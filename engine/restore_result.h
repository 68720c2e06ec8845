#pragma once
// How a restore ended, in one place. The component's own surface (Restore's
// result, FErrorCode, OnError and the exceptions) is derived from it, and the
// wizard and setupkit read it instead of guessing from that surface.
#include <cstdint>
#include <string>

struct TRestoreResult {
  enum class Status {
    Idle,       // no restore has run yet
    Running,    // the restore is under way
    Missing,    // no archive file of that name: nothing happened
    Completed,  // every entry restored or skipped as asked
    Failed,     // a file could not be restored: see errorCode, file and reason
    Stopped,    // stopped without an error: a disk prompt cancelled, Continue cleared
    Raised,     // the archive could not be read on: an exception left the restore
  };
  Status status = Status::Idle;
  int32_t errorCode = 0;  // the component's error code when Failed
  // The file behind the failure (Windows form), empty when none was being
  // written, and why: the system's text when the file could not be made or
  // written, the decoder's message when the archive's data was at fault
  // (`reading`). An exception that an event handler raised, or the bare name
  // whose directory cannot be made, leaves `reading` false.
  std::string file;
  std::string reason;
  bool reading = false;
  // The volume being read (Windows form) and the position in it.
  std::string volume;
  int64_t offset = 0;

  // The archive's fault rather than the destination's or an event handler's:
  // it is damaged, or it is no archive.
  bool damaged() const { return reading && (status == Status::Raised || status == Status::Failed); }
};
