#pragma once
// TBackupFile: the archive component. It restores archives (header, entry
// records, data blocks of zlib-compressed or stored chunks, continuation
// volumes) below a destination directory, reports through its events, and
// collects numbered error codes that it reports once at the end.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/archive_format.h"
#include "engine/landing_check.h"
#include "engine/restore_result.h"
#include "framework/core/component.h"
#include "framework/core/event.h"
#include "framework/core/stream.h"

class TDecodeAhead;
class TRestoreRun;
class TRestoreTarget;

enum TBackupMode : uint8_t { bmAll, bmIncremental };
enum TRestoreMode : uint8_t { rmAll, rmNoOverwrite, rmNewer, rmExisting, rmExistingNewer };
enum TCompressionLevel : uint8_t { clFastest, clNone, clDefault, clMax };
using TPercentage = uint8_t;  // 0 to 100

// Event types; Sender is always the component.
using TProgressEvent =
    TEvent<TObject* /*Sender*/, const std::string& /*Filename*/, TPercentage /*Percent*/, bool& /*Continue*/>;
using TNeedDiskEvent = TEvent<TObject* /*Sender*/, uint16_t /*DiskID*/, bool& /*Continue*/>;
using TRestoreFileEvent = TEvent<TObject* /*Sender*/, std::string& /*Filename*/, int32_t /*FA*/, bool& /*DoRestore*/>;
using TFileRestoredEvent = TEvent<TObject* /*Sender*/, std::string& /*Filename*/, TFileStream*& /*Stream*/>;
using TBackupErrorEvent = TEvent<TObject* /*Sender*/, int32_t /*Error*/, const std::string& /*ErrString*/>;

// The archive name that makes Restore read from SourceStream instead of a file.
inline constexpr const char* kStreamArchiveName = ":STREAM";


// The file name a flat restore gives a stored name: what follows its last
// "\", "/" or ":" ("/" counts too, since the platform treats it as a
// separator).
std::string flatRestoreName(const std::string& storedName);

// The disk prompt a restore shows when no OnNeedDisk handler is set: true
// when the user clicks OK.
bool askForDiskByDefault(uint16_t disk);

class TBackupFile : public TComponent {
 public:
  explicit TBackupFile(TComponent* owner);

  // Restores the archive ArchiveName (the first volume, or ":STREAM") below
  // TargetDir (empty: every file to its stored path). Returns true when no
  // error code was set and the restore was not stopped. Raises "Cannot read
  // archive" when the header cannot be read, and the decoder's exceptions
  // ("Invalid archive type", "Stream read error") from skipped entries and
  // volume changes.
  bool Restore(const std::string& ArchiveName, const std::string& TargetDir);

  // Reads one data block from Source: writes its bytes to Dest (write mode)
  // or steps over them (skip mode, Dest null). Sets error code 6 on a zlib
  // failure; raises "Invalid archive type", "Stream read error", "Out of
  // memory", and "Stream write error" when Dest stores fewer bytes than given.
  // Returns true when the block was read to its end and every chunk decoded,
  // false when it stopped early (Continue cleared, a zlib failure).
  bool ReadDataBlock(TStream& Source, TStream* Dest, bool WriteData);

  // Reports an error code through OnError, or in the error message box.
  void ReportError(int32_t Error);
  // The fixed message of an error code; empty for unknown codes.
  static std::string errorMessage(int32_t Error);

  // Published properties.
  std::string GetVersion() const { return "5.00"; }
  void SetVersion(const std::string&) {}
  std::string BackupTitle;
  TBackupMode backupMode() const { return FBackupMode; }
  void SetBackupMode(TBackupMode value);
  TCompressionLevel CompressionLevel = clFastest;
  TRestoreMode RestoreMode = rmAll;
  int32_t MaxSize = 0;
  bool SetArchiveFlag = false;
  TProgressEvent OnProgress;
  TNeedDiskEvent OnNeedDisk;
  TRestoreFileEvent OnRestoreFile;
  TFileRestoredEvent OnFileRestored;
  TBackupErrorEvent OnError;
  bool RestoreFullPath = false;
  bool SaveFileID = false;
  // Finds a continuation volume elsewhere than beside the one before: given
  // its number and the name beside the one before, returns the file to read.
  // Unset, the volume is read beside the one before.
  std::function<std::string(int /*Number*/, const std::string& /*Beside*/)> LocateVolume;

  // Run-time state of the last (or current) restore.
  int32_t FHeaderExtra = 0;
  int32_t FRestoredCount = 0;
  int32_t FTotalSize = 0;
  int32_t FBytesDone = 0;
  std::string FCurrentFile;
  bool FBusy = false;
  bool FContinue = false;
  int32_t FErrorCode = 0;
  // Read instead of a file when the archive name is ":STREAM"; not owned.
  TStream* FSourceStream = nullptr;
  // Checks every file written and the restore's end (engine/landing_check.h);
  // null: none. Not owned.
  TLandingCheck* LandingCheck = nullptr;
  // Where Restore places the files of its destination (given in Windows
  // form, with its trailing backslash, or empty): the host's directories
  // when not set; a target in memory for the fuzzer and the tests.
  std::function<std::unique_ptr<TRestoreTarget>(const std::string& targetDir)> MakeTarget;
  // Set from elsewhere (a signal handler, platform/interrupt.h) to stop the
  // restore as a cleared Continue does: polled after every chunk and before
  // a disk prompt. A restore that finds it set ends as stopped, also when a
  // wait it broke off (a volume that is a pipe) made a read fail. Null: none.
  // Not owned.
  const std::atomic<bool>* CancelFlag = nullptr;
  bool cancelRequested() const { return CancelFlag && CancelFlag->load(std::memory_order_relaxed); }
  // How the last (or current) restore ended: status, error code, the file
  // behind a failure and why, the volume and the position in it.
  const TRestoreResult& Result() const { return FResult; }

 private:
  friend class TRestoreRun;  // the steps of Restore
  TBackupMode FBackupMode = bmAll;
  // The decoder's input and output areas of 16384 bytes each, made on first
  // use and kept, so that a restore of many small files allocates them once.
  // Their contents never outlive one chunk, so a decoder run started from an
  // event handler in the middle of another cannot disturb it.
  std::unique_ptr<uint8_t[]> FChunkInput;
  std::unique_ptr<uint8_t[]> FChunkOutput;
  // Decodes the chunks of the volume a restore reads ahead on another thread;
  // null when the restore reads a stream of the caller's. Not owned.
  TDecodeAhead* FDecodeAhead = nullptr;
  // The check that sees the bytes of the file being written; null while
  // none is written.
  TLandingCheck* FCheckingFile = nullptr;
  TRestoreResult FResult;
  // An event handler raised the exception in flight: a failure of the
  // caller's code, not damage in the archive.
  bool FHandlerRaised = false;
};
